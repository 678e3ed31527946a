// Price records from CSV rows and back. Every complaint names the CSV line it
// is about, so a shop can mend the list in one go.
#include "tools/prchk_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/prchk_price_text.h"
#include "tools/prchk_text.h"

namespace {

using prchk::addLineError;
using prchk::addLineWarning;
using prchk::compareCodes;
using prchk::fieldLength;
using prchk::formatText;

// --- CSV rows into records ---------------------------------------------------

// Copies text that is known to fit into a zeroed field.
void storeText(char* field, std::string_view text) {
    std::memcpy(field, text.data(), text.size());
}

bool isCodeCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The checker cuts what it receives at 13 characters and at the first
// character that is neither digit nor letter; such records are written, but
// the shop should know that nobody can ever find them.
void warnOfUnreachableCode(const CsvRow& row, const std::string& code, PrchkMessages& messages) {
    if (!std::all_of(code.begin(), code.end(), isCodeCharacter)) {
        addLineWarning(messages, row.line,
                       formatText("code \"%s\" holds a character other than a digit or a letter; "
                                  "the checker can never find it",
                                  code.c_str()));
    } else if (code.size() > static_cast<size_t>(kLongestEnteredCode)) {
        addLineWarning(messages, row.line,
                       formatText("code \"%s\" is longer than %d characters; the checker can "
                                  "never find it",
                                  code.c_str(), kLongestEnteredCode));
    }
}

// The code column: ASCII only, as scanners and keyboards deliver it.
bool readCode(const CsvRow& row, PriceRecord& record, PrchkMessages& messages) {
    const std::string& code = row.fields[0];
    if (code.empty()) {
        addLineError(messages, row.line, "code is empty");
        return false;
    }
    for (char c : code) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            addLineError(messages, row.line,
                         formatText("code \"%s\" holds a character other than printable ASCII",
                                    prchk::printableText(code).c_str()));
            return false;
        }
    }
    if (code.size() > static_cast<size_t>(kMaxRecordCodeLength)) {
        addLineError(messages, row.line,
                     formatText("code \"%s\" is %zu characters long; the field holds at most %d",
                                code.c_str(), code.size(), kMaxRecordCodeLength));
        return false;
    }
    warnOfUnreachableCode(row, code, messages);
    storeText(record.code, code);
    return true;
}

// A name or unit column, recoded to Mazovia and checked against its width.
bool readText(const CsvRow& row, int column, const char* what, size_t maxLength, bool required,
              char* field, PrchkMessages& messages) {
    std::string mazovia;
    std::string problem;
    if (utf8ToMazovia(row.fields[column], mazovia, problem) != 0) {
        addLineError(messages, row.line, formatText("%s: %s", what, problem.c_str()));
        return false;
    }
    if (required && mazovia.empty()) {
        addLineError(messages, row.line, formatText("%s is empty", what));
        return false;
    }
    if (mazovia.size() > maxLength) {
        addLineError(messages, row.line,
                     formatText("%s is %zu characters long; the field holds at most %zu", what,
                                mazovia.size(), maxLength));
        return false;
    }
    storeText(field, mazovia);
    return true;
}

bool readPriceColumn(const CsvRow& row, int column, const char* what, bool required, double& units,
                     PrchkMessages& messages) {
    const std::string& text = row.fields[column];
    if (prchk::trimBlanks(text).empty()) {
        if (required) {
            addLineError(messages, row.line, formatText("%s is empty", what));
            return false;
        }
        units = 0.0;
        return true;
    }
    std::string problem;
    if (parsePrice(text, units, problem) != 0) {
        addLineError(messages, row.line, formatText("%s %s", what, problem.c_str()));
        return false;
    }
    return true;
}

// One CSV row into one record; every problem of the row is reported.
bool readRow(const CsvRow& row, PriceRecord& record, PrchkMessages& messages) {
    std::memset(&record, 0, sizeof record);
    if (row.fields.size() != static_cast<size_t>(kPrchkCsvColumns)) {
        addLineError(messages, row.line,
                     formatText("%d columns expected (%s), found %zu", kPrchkCsvColumns,
                                kPrchkCsvHeader, row.fields.size()));
        return false;
    }
    bool sound = readCode(row, record, messages);
    sound &= readText(row, 1, "name", kMaxRecordNameLength, true, record.name, messages);
    // The record is packed: its doubles are filled by value, never through
    // a reference to a misaligned member.
    double price = 0, gross2 = 0, net1 = 0, net2 = 0;
    sound &= readPriceColumn(row, 2, "price", true, price, messages);
    sound &= readPriceColumn(row, 3, "gross2", false, gross2, messages);
    sound &= readPriceColumn(row, 4, "net1", false, net1, messages);
    sound &= readPriceColumn(row, 5, "net2", false, net2, messages);
    record.price = price;
    record.gross2 = gross2;
    record.net1 = net1;
    record.net2 = net2;
    sound &= readText(row, 6, "unit", kMaxRecordUnitLength, false, record.unit, messages);
    if (sound && std::strlen(record.unit) > static_cast<size_t>(kShownUnitLength)) {
        addLineWarning(messages, row.line,
                       formatText("unit \"%s\" is longer than %d characters; the checker shows "
                                  "only its first %d",
                                  row.fields[6].c_str(), kShownUnitLength, kShownUnitLength));
    }
    return sound;
}

bool headerMatches(const CsvRow& row) {
    std::string joined;
    for (size_t i = 0; i < row.fields.size(); ++i) {
        if (i > 0) joined += ',';
        for (char c : prchk::trimBlanks(row.fields[i])) {
            joined += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return joined == kPrchkCsvHeader;
}

struct NumberedRecord {
    PriceRecord record;
    int line;
};

bool codeSortsFirst(const NumberedRecord& a, const NumberedRecord& b) {
    return compareCodes(a.record.code, b.record.code) < 0;
}

// Sorts the rows' records and reports every code that stands twice, on the
// line of its second and later rows.
bool reportDuplicateCodes(std::vector<NumberedRecord>& numbered, PrchkMessages& messages) {
    std::stable_sort(numbered.begin(), numbered.end(), codeSortsFirst);
    bool sound = true;
    for (size_t i = 1; i < numbered.size(); ++i) {
        if (compareCodes(numbered[i - 1].record.code, numbered[i].record.code) == 0) {
            addLineError(messages, numbered[i].line,
                         formatText("code \"%s\" is already on line %d", numbered[i].record.code,
                                    numbered[i - 1].line));
            sound = false;
        }
    }
    return sound;
}

// --- Records into CSV --------------------------------------------------------

// A price that the CSV text carries back to exactly the stored number.
bool priceSurvivesCsv(double units) {
    double readBack = 0.0;
    std::string problem;
    return std::isfinite(units) && parsePrice(formatPrice(units), readBack, problem) == 0 &&
           readBack == units;
}

void checkDumpedText(const char* field, size_t width, const char* what, int64_t index,
                     PrchkMessages& messages) {
    const std::string place = prchk::recordPlace(index);
    const size_t length = fieldLength(field, width);
    if (length == width) {
        messages.warnings.push_back(
            formatText("%s: the %s field has no terminating zero byte; all %zu bytes are written",
                       place.c_str(), what, width));
    }
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b < 0x20 || b == 0x7F) {
            messages.warnings.push_back(
                formatText("%s: the %s holds control character 0x%02X", place.c_str(), what, b));
            return;
        }
    }
}

void appendPriceField(std::string& out, double units, const char* what, int64_t index,
                      PrchkMessages& messages) {
    out += ',';
    const std::string text = formatPrice(units);
    appendCsvField(out, text);
    if (!priceSurvivesCsv(units)) {
        messages.warnings.push_back(formatText("%s: %s %s cannot be carried exactly by the CSV",
                                               prchk::recordPlace(index).c_str(), what,
                                               text.c_str()));
    }
}

void appendTextField(std::string& out, const char* field, size_t width) {
    appendCsvField(out, mazoviaToUtf8(std::string_view(field, fieldLength(field, width))));
}

}  // namespace

namespace prchk {

int compareCodes(const char* a, const char* b) {
    for (size_t i = 0; i < sizeof(PriceRecord::code); ++i) {
        const auto ua = static_cast<unsigned char>(a[i]);
        const auto ub = static_cast<unsigned char>(b[i]);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (ua == 0) return 0;
    }
    return 0;
}

size_t fieldLength(const char* field, size_t width) {
    const void* zero = std::memchr(field, 0, width);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
}

}  // namespace prchk

int buildRecords(const std::vector<CsvRow>& rows, std::vector<PriceRecord>& records,
                 PrchkMessages& messages) {
    records.clear();
    if (rows.empty()) {
        messages.errors.push_back(formatText(
            "the file is empty; its first line must be the header \"%s\"", kPrchkCsvHeader));
        return -1;
    }
    if (!headerMatches(rows[0])) {
        addLineError(messages, rows[0].line,
                     formatText("the first line must be the header \"%s\"", kPrchkCsvHeader));
        return -1;
    }
    std::vector<NumberedRecord> numbered;
    numbered.reserve(rows.size() - 1);
    bool sound = true;
    for (size_t i = 1; i < rows.size(); ++i) {
        NumberedRecord item;
        item.line = rows[i].line;
        sound &= readRow(rows[i], item.record, messages);
        // A row with other faults still takes part in the duplicate check,
        // so one run reports all there is to mend.
        if (item.record.code[0] != 0) numbered.push_back(item);
    }
    sound &= reportDuplicateCodes(numbered, messages);
    if (!sound) return -1;
    records.reserve(numbered.size());
    for (const NumberedRecord& item : numbered) records.push_back(item.record);
    return 0;
}

void sortRecords(std::vector<PriceRecord>& records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const PriceRecord& a, const PriceRecord& b) {
                         return compareCodes(a.code, b.code) < 0;
                     });
}

std::string serializeRecords(const std::vector<PriceRecord>& records) {
    std::string bytes(records.size() * sizeof(PriceRecord), '\0');
    if (!records.empty()) std::memcpy(bytes.data(), records.data(), bytes.size());
    return bytes;
}

std::string recordsToCsv(const std::vector<PriceRecord>& records, PrchkMessages& messages) {
    std::string out = kPrchkCsvHeader;
    out += '\n';
    for (size_t i = 0; i < records.size(); ++i) {
        const PriceRecord& record = records[i];
        const auto index = static_cast<int64_t>(i);
        checkDumpedText(record.code, sizeof record.code, "code", index, messages);
        checkDumpedText(record.name, sizeof record.name, "name", index, messages);
        checkDumpedText(record.unit, sizeof record.unit, "unit", index, messages);
        appendTextField(out, record.code, sizeof record.code);
        out += ',';
        appendTextField(out, record.name, sizeof record.name);
        appendPriceField(out, record.price, "price", index, messages);
        appendPriceField(out, record.gross2, "gross2", index, messages);
        appendPriceField(out, record.net1, "net1", index, messages);
        appendPriceField(out, record.net2, "net2", index, messages);
        out += ',';
        appendTextField(out, record.unit, sizeof record.unit);
        out += '\n';
    }
    return out;
}
