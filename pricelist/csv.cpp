// Reading and writing CSV fields. A quoted field may run over several lines,
// so the reader counts lines itself to name the one a problem is on. Text
// may arrive a piece at a time: a row cut by the end of a piece is read
// again from its start once more text is there.
#include "pricelist/csv.h"

#include <algorithm>

#include "pricelist/encodings.h"

namespace {

using prchk::addLineError;

constexpr int kRowRead = 1;
constexpr int kTextEnded = 0;
constexpr int kRowBroken = -1;

bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Appends text[in.pos, end) to `field`, counting its line breaks (CR LF as
// one), and moves the cursor to `end`.
void takeCountingLines(CsvCursor& in, size_t end, std::string& field) {
    for (size_t i = in.pos; i < end; ++i) {
        const char c = in.text[i];
        if (c == '\n' || (c == '\r' && !(i + 1 < end && in.text[i + 1] == '\n'))) ++in.line;
    }
    field.append(in.text.substr(in.pos, end - in.pos));
    in.pos = end;
}

// Reads a quoted field from just after its opening quote up to the field's
// end; "" stands for one quote. Line breaks inside are part of the field.
int readQuotedField(CsvCursor& in, int rowLine, std::string& field, PrchkMessages& messages) {
    for (;;) {
        const size_t quote = in.text.find('"', in.pos);
        if (quote == std::string_view::npos) {
            if (!in.final) return kTextEnded;
            addLineError(messages, rowLine,
                         "cudzysłów otwierający pole nie ma pary; dopisz brakujący cudzysłów "
                         "albo usuń zbędny");
            return kRowBroken;
        }
        takeCountingLines(in, quote, field);
        ++in.pos;
        if (in.pos >= in.text.size() && !in.final) return kTextEnded;  // maybe a doubled quote
        if (in.pos < in.text.size() && in.text[in.pos] == '"') {
            field += '"';
            ++in.pos;
            continue;
        }
        break;
    }
    if (in.pos < in.text.size() && in.text[in.pos] != in.separator &&
        !isLineBreak(in.text[in.pos])) {
        addLineError(messages, in.line,
                     "po cudzysłowie zamykającym pole stoi jeszcze tekst; cudzysłów wewnątrz "
                     "pola zapisz podwójnie (\"\") i ujmij całe pole w cudzysłów");
        return kRowBroken;
    }
    return kRowRead;
}

// Reads an unquoted field up to the separator or the line's end.
int readPlainField(CsvCursor& in, std::string& field) {
    size_t end = in.pos;
    while (end < in.text.size() && in.text[end] != in.separator && !isLineBreak(in.text[end])) {
        ++end;
    }
    if (end >= in.text.size() && !in.final) return kTextEnded;
    field.append(in.text.substr(in.pos, end - in.pos));
    in.pos = end;
    return kRowRead;
}

// The next field of the row, emptied; fields of the row read before are
// reused, so a long list costs no allocation per field.
std::string& nextField(CsvRow& row, size_t& count, bool quoted) {
    if (count == row.fields.size()) {
        row.fields.emplace_back();
        row.quoted.push_back(quoted);
    }
    row.fields[count].clear();
    row.quoted[count] = quoted;
    return row.fields[count++];
}

// Reads the fields of one row and the line break that ends it.
int readFields(CsvCursor& in, CsvRow& row, PrchkMessages& messages) {
    size_t count = 0;
    for (;;) {
        const bool quoted = in.pos < in.text.size() && in.text[in.pos] == '"';
        std::string& field = nextField(row, count, quoted);
        if (quoted) ++in.pos;
        const int got =
            quoted ? readQuotedField(in, row.line, field, messages) : readPlainField(in, field);
        if (got != kRowRead) return got;
        if (in.pos < in.text.size() && in.text[in.pos] == in.separator) {
            ++in.pos;
            continue;
        }
        if (in.pos < in.text.size()) {
            const bool cr = in.text[in.pos] == '\r';
            if (cr && in.pos + 1 >= in.text.size() && !in.final) return kTextEnded;
            in.pos += cr && in.pos + 1 < in.text.size() && in.text[in.pos + 1] == '\n' ? 2 : 1;
            ++in.line;
        }
        row.fields.resize(count);
        row.quoted.resize(count);
        return kRowRead;
    }
}

}  // namespace

int readCsvRow(CsvCursor& in, CsvRow& row, PrchkMessages& messages) {
    if (in.pos >= in.text.size()) return kTextEnded;
    const size_t start = in.pos;
    const int startLine = in.line;
    row.line = in.line;
    const int got = readFields(in, row, messages);
    if (got == kTextEnded) {
        in.pos = start;
        in.line = startLine;
    }
    return got;
}

bool isBlankRow(const CsvRow& row) {
    return std::all_of(row.fields.begin(), row.fields.end(),
                       [](const std::string& field) { return prchk::trimBlanks(field).empty(); });
}

int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages,
             char separator) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    CsvCursor in{text, separator};
    CsvRow row;
    int got = 0;
    while ((got = readCsvRow(in, row, messages)) == kRowRead) {
        const bool emptyLine = row.fields.size() == 1 && row.fields[0].empty() && !row.quoted[0];
        if (!emptyLine) rows.push_back(row);
    }
    return got == kRowBroken ? -1 : 0;
}

std::string separatorsToTry(std::string_view line) {
    std::string separators;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == ';' || c == ',' || c == '\t') {
            separators += c;
            break;
        }
        if (isLineBreak(c)) break;
    }
    for (char c : std::string_view(";,\t")) {
        if (separators.find(c) == std::string::npos) separators += c;
    }
    return separators;
}

void appendCsvField(std::string& out, std::string_view field, char separator) {
    const bool needsQuotes = field.find_first_of("\"\r\n") != std::string_view::npos ||
                             field.find(separator) != std::string_view::npos ||
                             (!field.empty() && (field.front() == ' ' || field.front() == '\t' ||
                                                 field.back() == ' ' || field.back() == '\t'));
    if (!needsQuotes) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}
