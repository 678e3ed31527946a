// The wording of the prchk tool's messages.
#include "pricelist/messages.h"

#include <cstdarg>
#include <cstdio>

#include "lookup/price_file.h"

namespace prchk {

std::string formatText(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void addLineError(PrchkMessages& messages, int line, const std::string& text) {
    messages.errors.push_back(formatText("line %d: %s", line, text.c_str()));
}

void addLineWarning(PrchkMessages& messages, int line, const std::string& text) {
    messages.warnings.push_back(formatText("line %d: %s", line, text.c_str()));
}

void addFieldError(PrchkMessages& messages, int line, int column, const std::string& label,
                   const std::string& text) {
    messages.errors.push_back(
        formatText("line %d, column %d (%s): %s", line, column, label.c_str(), text.c_str()));
}

void addFieldWarning(PrchkMessages& messages, int line, int column, const std::string& label,
                     const std::string& text) {
    messages.warnings.push_back(
        formatText("line %d, column %d (%s): %s", line, column, label.c_str(), text.c_str()));
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

std::string recordPlace(int64_t index) {
    return formatText("record %lld (offset %lld)", static_cast<long long>(index + 1),
                      static_cast<long long>(index * kPriceRecordSize));
}

}  // namespace prchk
