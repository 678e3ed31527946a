// Reading and writing CSV fields. A quoted field may run over several lines,
// so the reader counts lines itself to name the one a problem is on.
#include "pricelist/csv.h"

#include <utility>

namespace {

using prchk::addLineError;

// Where the reader stands in the text.
struct CsvCursor {
    std::string_view text;
    char separator = ',';
    size_t pos = 0;
    int line = 1;

    bool atEnd() const { return pos >= text.size(); }
    bool atLineEnd() const { return !atEnd() && (text[pos] == '\r' || text[pos] == '\n'); }
    bool atFieldEnd() const { return atEnd() || text[pos] == separator || atLineEnd(); }
    bool followedBy(char c) const { return pos + 1 < text.size() && text[pos + 1] == c; }
};

// Reads a quoted field from just after its opening quote up to the field's
// end; "" stands for one quote. Line breaks inside are part of the field.
int readQuotedField(CsvCursor& in, int rowLine, std::string& field, PrchkMessages& messages) {
    for (;;) {
        if (in.atEnd()) {
            addLineError(messages, rowLine, "a quoted field is never closed");
            return -1;
        }
        const char c = in.text[in.pos];
        if (c == '"' && in.followedBy('"')) {
            field += '"';
            in.pos += 2;
            continue;
        }
        ++in.pos;
        if (c == '"') break;
        // CR LF is one line break, so only its LF counts.
        if (c == '\n' || (c == '\r' && !(in.pos < in.text.size() && in.text[in.pos] == '\n'))) {
            ++in.line;
        }
        field += c;
    }
    if (!in.atFieldEnd()) {
        addLineError(messages, in.line, "text follows a closing quote");
        return -1;
    }
    return 0;
}

// Reads the fields of one row and the line break that ends it.
int readRow(CsvCursor& in, CsvRow& row, bool& quotedAny, PrchkMessages& messages) {
    for (;;) {
        std::string field;
        if (!in.atEnd() && in.text[in.pos] == '"') {
            quotedAny = true;
            ++in.pos;
            if (readQuotedField(in, row.line, field, messages) != 0) return -1;
        } else {
            while (!in.atFieldEnd()) field += in.text[in.pos++];
        }
        row.fields.push_back(std::move(field));
        if (in.atEnd()) return 0;
        if (in.text[in.pos] == in.separator) {
            ++in.pos;
            continue;
        }
        in.pos += (in.text[in.pos] == '\r' && in.followedBy('\n')) ? 2 : 1;
        ++in.line;
        return 0;
    }
}

}  // namespace

int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages,
             char separator) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    CsvCursor in{text, separator};
    while (!in.atEnd()) {
        CsvRow row;
        row.line = in.line;
        bool quotedAny = false;
        if (readRow(in, row, quotedAny, messages) != 0) return -1;
        const bool emptyLine = row.fields.size() == 1 && row.fields[0].empty() && !quotedAny;
        if (!emptyLine) rows.push_back(std::move(row));
    }
    return 0;
}

char findCsvSeparator(std::string_view text) {
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == ';' || c == ',' || c == '\t') return c;
        if (c == '\r' || c == '\n') break;
    }
    return ',';
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
