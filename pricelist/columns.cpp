// Column names. A shop's spreadsheet may carry columns of its own (a
// supplier, a shelf); only these names mean anything to the checker.
#include "pricelist/columns.h"

#include <string_view>

#include "base/text.h"
#include "pricelist/encodings.h"

namespace {

using prchk::formatText;

// Every name a column answers to: English first, then Polish, then the
// names spreadsheets use besides.
struct ColumnNames {
    std::array<const char*, 4> names;
    bool required;
};

constexpr std::array<ColumnNames, kPriceColumnCount> kColumnNames = {{
    {{"code", "kod"}, true},
    {{"name", "nazwa"}, true},
    {{"price", "cena", "brutto", "brutto1"}, true},
    {{"gross2", "brutto2"}, false},
    {{"net1", "netto1"}, false},
    {{"net2", "netto2"}, false},
    {{"unit", "jednostka", "jm"}, false},
}};

// Whether `header` lists the English (0) or Polish (1) names in column order.
constexpr bool headerNamesColumns(std::string_view header, size_t language, char separator) {
    for (size_t column = 0; column < kColumnNames.size(); ++column) {
        const std::string_view name = kColumnNames[column].names[language];
        if (!header.starts_with(name)) return false;
        header.remove_prefix(name.size());
        if (column + 1 < kColumnNames.size()) {
            if (!header.starts_with(separator)) return false;
            header.remove_prefix(1);
        }
    }
    return header.empty();
}
static_assert(headerNamesColumns(kPrchkCsvHeader, 0, ','));
static_assert(headerNamesColumns(kSpreadsheetCsvHeader, 1, ';'));

// The column a header field names, or -1.
int columnNamed(std::string_view label) {
    std::string lower;
    for (char c : label) lower += toAsciiLower(c);
    for (size_t column = 0; column < kColumnNames.size(); ++column) {
        for (const char* name : kColumnNames[column].names) {
            if (name != nullptr && lower == name) return static_cast<int>(column);
        }
    }
    return -1;
}

// "kod" or "code": the names a missing column could have, Polish first.
std::string namesOf(const ColumnNames& column) {
    std::string text;
    for (size_t i = 1; i <= column.names.size(); ++i) {
        const char* name = column.names[i % column.names.size()];
        if (name == nullptr) continue;
        if (!text.empty()) text += i == column.names.size() ? " or " : ", ";
        text += formatText("\"%s\"", name);
    }
    return text;
}

}  // namespace

int mapColumns(const CsvRow& header, ColumnMap& columns, PrchkMessages& messages) {
    columns = ColumnMap{};
    columns.field.fill(-1);
    columns.fieldCount = header.fields.size();
    bool sound = true;
    for (size_t i = 0; i < header.fields.size(); ++i) {
        const std::string label(prchk::trimBlanks(header.fields[i]));
        const int column = columnNamed(label);
        if (column < 0) continue;
        if (columns.field[column] >= 0) {
            prchk::addFieldError(
                messages, header.line, static_cast<int>(i + 1), label,
                formatText("a second column for what column %d (%s) holds",
                           columns.field[column] + 1, columns.label[column].c_str()));
            sound = false;
            continue;
        }
        columns.field[column] = static_cast<int>(i);
        columns.label[column] = label;
    }
    std::string missing;
    for (size_t column = 0; column < kColumnNames.size(); ++column) {
        if (kColumnNames[column].required && columns.field[column] < 0) {
            missing += (missing.empty() ? "the header names no column " : "; no column ") +
                       namesOf(kColumnNames[column]);
        }
    }
    if (!missing.empty()) prchk::addLineError(messages, header.line, missing);
    sound = sound && missing.empty();
    return sound ? 0 : -1;
}
