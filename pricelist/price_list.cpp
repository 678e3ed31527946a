// Reading a price list. Every complaint names the line and the column it is
// about, so a shop can mend the list in one go; nothing is written until the
// whole list reads cleanly.
#include "pricelist/price_list.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "lookup/check_state.h"
#include "pricelist/columns.h"
#include "pricelist/price_text.h"
#include "pricelist/records.h"

namespace {

using prchk::addLineError;
using prchk::formatText;

// One row being read, and where its complaints go.
struct RowReading {
    const CsvRow& row;
    const ColumnMap& columns;
    char decimalMark;
    PrchkMessages& messages;
};

void complain(const RowReading& r, PriceColumn column, const std::string& text) {
    prchk::addFieldError(r.messages, r.row.line, r.columns.field[column] + 1,
                         r.columns.label[column], text);
}

void warn(const RowReading& r, PriceColumn column, const std::string& text) {
    prchk::addFieldWarning(r.messages, r.row.line, r.columns.field[column] + 1,
                           r.columns.label[column], text);
}

// A column's field in the row; empty when the header has no such column.
const std::string& fieldOf(const RowReading& r, PriceColumn column) {
    static const std::string missing;
    const int field = r.columns.field[column];
    return field < 0 ? missing : r.row.fields[field];
}

// Copies text that is known to fit into a zeroed field.
void storeText(char* field, std::string_view text) {
    std::memcpy(field, text.data(), text.size());
}

// A spreadsheet that shows a 13-digit code in a column of numbers writes it
// as "5,90123E+12": its digits are gone, whatever the list says after.
bool isShortenedNumber(std::string_view code) {
    const size_t e = code.find_first_of("Ee");
    if (e == std::string_view::npos || e == 0 || e + 1 >= code.size()) return false;
    const auto digitsOrMark = [](std::string_view part, const char* allowed) {
        return !part.empty() && part.find_first_not_of(allowed) == std::string_view::npos;
    };
    std::string_view exponent = code.substr(e + 1);
    if (exponent[0] == '+' || exponent[0] == '-') exponent.remove_prefix(1);
    return digitsOrMark(code.substr(0, e), "0123456789.,") && digitsOrMark(exponent, "0123456789");
}

// The checker cuts what it receives at 13 characters and at the first
// character that is neither digit nor letter; such records are written, but
// the shop should know that nobody can ever find them.
void warnOfUnreachableCode(const RowReading& r, const std::string& code) {
    if (!std::all_of(code.begin(), code.end(), isAsciiDigitOrLetter)) {
        warn(r, kCodeColumn,
             formatText("code \"%s\" holds a character other than a digit or a letter; the "
                        "checker can never find it",
                        code.c_str()));
    } else if (code.size() > kLookedUpCodeLength) {
        warn(r, kCodeColumn,
             formatText("code \"%s\" is longer than %zu characters; the checker can never find it",
                        code.c_str(), kLookedUpCodeLength));
    }
}

// The code column: ASCII only, as scanners and keyboards deliver it.
bool readCode(const RowReading& r, PriceRecord& record) {
    const std::string& code = fieldOf(r, kCodeColumn);
    const auto notPrintable = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b >= 0x7F;
    };
    if (code.empty()) {
        complain(r, kCodeColumn, "empty; every item needs its code");
    } else if (std::any_of(code.begin(), code.end(), notPrintable)) {
        complain(r, kCodeColumn,
                 formatText("\"%s\" holds a character other than printable ASCII",
                            prchk::printableText(code).c_str()));
    } else if (isShortenedNumber(code)) {
        complain(r, kCodeColumn,
                 formatText("\"%s\" is a number the spreadsheet shortened and its digits are "
                            "lost: format the column as text and save again",
                            code.c_str()));
    } else if (code.size() > static_cast<size_t>(kMaxRecordCodeLength)) {
        complain(r, kCodeColumn,
                 formatText("\"%s\" is %zu characters long; the field holds at most %d",
                            code.c_str(), code.size(), kMaxRecordCodeLength));
    } else {
        warnOfUnreachableCode(r, code);
        storeText(record.code, code);
        return true;
    }
    return false;
}

// A name or unit column, recoded to Mazovia and checked against its width.
bool readText(const RowReading& r, PriceColumn column, size_t maxLength, bool required,
              char* field) {
    std::string mazovia;
    std::string problem;
    if (utf8ToMazovia(fieldOf(r, column), mazovia, problem) != 0) {
        complain(r, column, problem);
        return false;
    }
    if (required && mazovia.empty()) {
        complain(r, column, "empty");
        return false;
    }
    if (mazovia.size() > maxLength) {
        complain(r, column,
                 formatText("%zu characters long; the field holds at most %zu", mazovia.size(),
                            maxLength));
        return false;
    }
    storeText(field, mazovia);
    return true;
}

bool readPriceColumn(const RowReading& r, PriceColumn column, bool required, double& units) {
    const std::string& text = fieldOf(r, column);
    units = 0.0;
    if (prchk::trimBlanks(text).empty()) {
        if (required) complain(r, column, "empty");
        return !required;
    }
    std::string problem;
    if (parsePrice(text, units, problem, r.decimalMark) != 0) {
        complain(r, column, problem);
        return false;
    }
    return true;
}

// One CSV row into one record; every problem of the row is reported.
bool readRow(const RowReading& r, PriceRecord& record) {
    std::memset(&record, 0, sizeof record);
    if (r.row.fields.size() != r.columns.fieldCount) {
        addLineError(r.messages, r.row.line,
                     formatText("%zu columns expected (as in the header), found %zu",
                                r.columns.fieldCount, r.row.fields.size()));
        return false;
    }
    bool sound = readCode(r, record);
    sound &= readText(r, kNameColumn, kMaxRecordNameLength, true, record.name);
    // The record is packed: its doubles are filled by value, never through
    // a reference to a misaligned member.
    double price = 0, gross2 = 0, net1 = 0, net2 = 0;
    sound &= readPriceColumn(r, kPriceColumn, true, price);
    sound &= readPriceColumn(r, kGross2Column, false, gross2);
    sound &= readPriceColumn(r, kNet1Column, false, net1);
    sound &= readPriceColumn(r, kNet2Column, false, net2);
    record.price = price;
    record.gross2 = gross2;
    record.net1 = net1;
    record.net2 = net2;
    sound &= readText(r, kUnitColumn, kMaxRecordUnitLength, false, record.unit);
    if (sound && std::strlen(record.unit) > kUnitShownLength) {
        warn(r, kUnitColumn,
             formatText("unit \"%s\" is longer than %zu characters; the checker shows only its "
                        "first %zu",
                        fieldOf(r, kUnitColumn).c_str(), kUnitShownLength, kUnitShownLength));
    }
    return sound;
}

struct NumberedRecord {
    PriceRecord record;
    int line;
};

bool codeSortsFirst(const NumberedRecord& a, const NumberedRecord& b) {
    return compareRecordCodes(a.record.code, b.record.code) < 0;
}

// Sorts the rows' records and reports every code that stands twice, on the
// line of its second and later rows.
bool reportDuplicateCodes(std::vector<NumberedRecord>& numbered, const ColumnMap& columns,
                          PrchkMessages& messages) {
    std::stable_sort(numbered.begin(), numbered.end(), codeSortsFirst);
    bool sound = true;
    for (size_t i = 1; i < numbered.size(); ++i) {
        if (compareRecordCodes(numbered[i - 1].record.code, numbered[i].record.code) == 0) {
            prchk::addFieldError(messages, numbered[i].line, columns.field[kCodeColumn] + 1,
                                 columns.label[kCodeColumn],
                                 formatText("code \"%s\" is already on line %d",
                                            numbered[i].record.code, numbered[i - 1].line));
            sound = false;
        }
    }
    return sound;
}

// A spreadsheet writes a row of bare separators for cells that were
// formatted or cleared below the list; like an empty line, it holds no item.
bool isBlankRow(const CsvRow& row) {
    return std::all_of(row.fields.begin(), row.fields.end(),
                       [](const std::string& field) { return prchk::trimBlanks(field).empty(); });
}

// The header row, naming the columns.
int readHeader(const std::vector<CsvRow>& rows, ColumnMap& columns, PrchkMessages& messages) {
    if (rows.empty()) {
        addLineError(messages, 1,
                     formatText("the file is empty; its first line must name the columns, as "
                                "\"%s\" or \"%s\" does",
                                kSpreadsheetCsvHeader, kPrchkCsvHeader));
        return -1;
    }
    return mapColumns(rows[0], columns, messages);
}

}  // namespace

int buildRecords(const std::vector<CsvRow>& rows, std::vector<PriceRecord>& records,
                 PrchkMessages& messages, char decimalMark) {
    records.clear();
    ColumnMap columns;
    if (readHeader(rows, columns, messages) != 0) return -1;
    std::vector<NumberedRecord> numbered;
    numbered.reserve(rows.size() - 1);
    bool sound = true;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (isBlankRow(rows[i])) continue;
        NumberedRecord item;
        item.line = rows[i].line;
        sound &= readRow(RowReading{rows[i], columns, decimalMark, messages}, item.record);
        // A row with other faults still takes part in the duplicate check,
        // so one run reports all there is to mend.
        if (item.record.code[0] != 0) numbered.push_back(item);
    }
    sound &= reportDuplicateCodes(numbered, columns, messages);
    // A list of no items would make a price file in which nothing is found.
    if (sound && numbered.empty()) {
        addLineError(messages, rows[0].line,
                     "no item follows the header; a price file without items finds nothing");
        return -1;
    }
    if (!sound) return -1;
    records.reserve(numbered.size());
    for (const NumberedRecord& item : numbered) records.push_back(item.record);
    return 0;
}

int readPriceList(std::string_view bytes, CsvForm& form, std::vector<PriceRecord>& records,
                  PrchkMessages& messages) {
    records.clear();
    std::string text;
    if (csvBytesToUtf8(bytes, form.encoding, text, messages) != 0) return -1;
    if (form.separator == 0) form.separator = findCsvSeparator(text);
    // A comma-separated file cannot hold an unquoted decimal comma, so it
    // comes from a "." locale; ";" and tab are what Polish spreadsheets write.
    if (form.decimalMark == 0) form.decimalMark = form.separator == ',' ? '.' : ',';
    std::vector<CsvRow> rows;
    if (parseCsv(text, rows, messages, form.separator) != 0) return -1;
    return buildRecords(rows, records, messages, form.decimalMark);
}

std::string describeCsvForm(const CsvForm& form) {
    const char* encoding = form.encoding == TextEncoding::Windows1250 ? "Windows-1250" : "UTF-8";
    const std::string separator =
        form.separator == '\t' ? "tabs" : formatText("\"%c\"", form.separator);
    return formatText("%s text, %s between fields, \"%c\" as the decimal mark", encoding,
                      separator.c_str(), form.decimalMark);
}
