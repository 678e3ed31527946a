// The wording of the prchk tool's messages.
#include "pricelist/messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "lookup/price_file.h"

namespace prchk {

namespace {

// Looks the fault up among the ones already found, or starts it.
RowFault& faultLike(PrchkMessages& messages, bool error, int column, std::string_view label,
                    const FieldProblem& problem) {
    for (RowFault& fault : messages.rowFaults) {
        if (fault.error == error && fault.column == column && fault.text == problem.text &&
            fault.label == label) {
            return fault;
        }
    }
    RowFault& fault = messages.rowFaults.emplace_back();
    fault.error = error;
    fault.column = column;
    fault.label = label;
    fault.text = problem.text;
    fault.value = problem.value;
    return fault;
}

void addRowFault(PrchkMessages& messages, bool error, int line, int column, std::string_view label,
                 const FieldProblem& problem) {
    RowFault& fault = faultLike(messages, error, column, label, problem);
    if (fault.count < static_cast<int64_t>(fault.lines.size())) fault.lines[fault.count] = line;
    ++fault.count;
}

// "wiersz 17", "wiersze 17 i 33", "wiersze 17, 33, 49 i 50", "wiersze 17, 33,
// 49 i 44 innych": four rows are named all, more as the first three and a count.
std::string rowsOf(const RowFault& fault) {
    if (fault.count == 1) return formatText("wiersz %d", fault.lines[0]);
    const int64_t named = fault.count <= 4 ? fault.count - 1 : 3;
    std::string text = "wiersze";
    for (int64_t i = 0; i < named; ++i) {
        text += formatText("%s %d", i == 0 ? "" : ",", fault.lines[i]);
    }
    if (fault.count <= 4) return text + formatText(" i %d", fault.lines[named]);
    return text + formatText(" i %lld innych", static_cast<long long>(fault.count - 3));
}

std::string describeFault(const RowFault& fault) {
    std::string text = rowsOf(fault);
    if (fault.column > 0)
        text += formatText(", kolumna %d (%s)", fault.column, fault.label.c_str());
    std::string said = fault.text;
    const size_t slot = said.find("{}");
    if (slot != std::string::npos) said.replace(slot, 2, fault.value);
    return text + ": " + said;
}

}  // namespace

std::string formatText(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

const char* pluralForm(int64_t count, const char* one, const char* few, const char* many) {
    if (count == 1) return one;
    const int64_t units = count % 10;
    const int64_t tens = count % 100;
    return units >= 2 && units <= 4 && (tens < 12 || tens > 14) ? few : many;
}

std::string countOf(int64_t count, const char* one, const char* few, const char* many) {
    return formatText("%lld %s", static_cast<long long>(count), pluralForm(count, one, few, many));
}

void addLineError(PrchkMessages& messages, int line, const std::string& text) {
    messages.errors.push_back(formatText("wiersz %d: %s", line, text.c_str()));
}

void addRowError(PrchkMessages& messages, int line, int column, std::string_view label,
                 const FieldProblem& problem) {
    addRowFault(messages, true, line, column, label, problem);
}

void addRowWarning(PrchkMessages& messages, int line, int column, std::string_view label,
                   const FieldProblem& problem) {
    addRowFault(messages, false, line, column, label, problem);
}

void finishRowFaults(PrchkMessages& messages) {
    std::stable_sort(messages.rowFaults.begin(), messages.rowFaults.end(),
                     [](const RowFault& a, const RowFault& b) { return a.lines[0] < b.lines[0]; });
    for (const RowFault& fault : messages.rowFaults) {
        (fault.error ? messages.errors : messages.warnings).push_back(describeFault(fault));
    }
    messages.rowFaults.clear();
}

std::string printableText(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += formatText("\\x%02X", b);
        }
    }
    return out;
}

std::string quotedText(std::string_view utf8) {
    constexpr int kShownCharacters = 40;
    std::string out = "„";
    int characters = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        const bool starts = (b & 0xC0) != 0x80;
        if (starts && ++characters > kShownCharacters) {
            out += "…";
            break;
        }
        out += b < 0x20 || b == 0x7F ? formatText("\\x%02X", b) : std::string(1, c);
    }
    return out + "”";
}

std::string recordPlace(int64_t index) {
    return formatText("rekord %lld (przesunięcie %lld)", static_cast<long long>(index + 1),
                      static_cast<long long>(index * kPriceRecordSize));
}

}  // namespace prchk
