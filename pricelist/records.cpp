// Price records and their CSV form. A dump must read back to the same file,
// so whatever the CSV cannot carry is said, record by record.
#include "pricelist/records.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

#include "pricelist/columns.h"
#include "pricelist/csv.h"
#include "pricelist/encodings.h"
#include "pricelist/price_text.h"

namespace {

using prchk::formatText;

// How the dump writes: one of the two DumpForms spelled out.
struct CsvWriting {
    DumpForm form;
    char separator;
    char decimalMark;
    const char* lineEnd;
    PrchkMessages& messages;
};

// A price that the CSV text carries back to exactly the stored number.
bool priceSurvivesCsv(double units) {
    double readBack = 0.0;
    FieldProblem problem;
    return std::isfinite(units) && parsePrice(formatPrice(units), readBack, problem) == 0 &&
           readBack == units;
}

void checkDumpedText(const char* field, size_t width, const char* what, int64_t index,
                     PrchkMessages& messages) {
    const std::string place = prchk::recordPlace(index);
    const size_t length = fieldLength(field, width);
    if (length == width) {
        messages.warnings.push_back(formatText(
            "%s: pole „%s” nie ma bajtu zerowego na końcu; zapisano wszystkie %zu bajtów",
            place.c_str(), what, width));
    }
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b < 0x20 || b == 0x7F) {
            messages.warnings.push_back(
                formatText("%s: pole „%s” zawiera znak sterujący 0x%02X", place.c_str(), what, b));
            return;
        }
    }
}

void appendPriceField(std::string& out, const CsvWriting& writing, double units, const char* what,
                      int64_t index) {
    out += writing.separator;
    const std::string text = formatPrice(units, writing.decimalMark);
    appendCsvField(out, text, writing.separator);
    if (!priceSurvivesCsv(units)) {
        writing.messages.warnings.push_back(
            formatText("%s: pole „%s” (%s) nie przejdzie przez CSV bez zmiany",
                       prchk::recordPlace(index).c_str(), what, text.c_str()));
    }
}

// A spreadsheet takes a cell that starts with one of these for a formula: it
// would show an error or a result instead of the text, and save that back.
void warnOfFormula(std::string_view text, const char* what, int64_t index,
                   PrchkMessages& messages) {
    if (!text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos) {
        messages.warnings.push_back(
            formatText("%s: pole „%s” zaczyna się od „%c”; arkusz może wziąć je za formułę",
                       prchk::recordPlace(index).c_str(), what, text[0]));
    }
}

void appendTextField(std::string& out, const CsvWriting& writing, const char* field, size_t width,
                     const char* what, int64_t index) {
    checkDumpedText(field, width, what, index, writing.messages);
    const std::string_view mazovia(field, fieldLength(field, width));
    if (writing.form == DumpForm::Plain) {
        appendCsvField(out, mazoviaToUtf8(mazovia), writing.separator);
        return;
    }
    size_t missing = 0;
    appendCsvField(out, mazoviaToWindows1250(mazovia, missing), writing.separator);
    if (missing > 0) {
        writing.messages.warnings.push_back(
            formatText("%s: pole „%s” ma znaki spoza Windows-1250 (%zu); zapisano je jako „?”",
                       prchk::recordPlace(index).c_str(), what, missing));
    }
    warnOfFormula(mazovia, what, index, writing.messages);
}

void appendRecord(std::string& out, const CsvWriting& writing, const PriceRecord& record,
                  int64_t index) {
    appendTextField(out, writing, record.code, sizeof record.code, "kod", index);
    out += writing.separator;
    appendTextField(out, writing, record.name, sizeof record.name, "nazwa", index);
    appendPriceField(out, writing, record.price, "cena", index);
    appendPriceField(out, writing, record.gross2, "brutto2", index);
    appendPriceField(out, writing, record.net1, "netto1", index);
    appendPriceField(out, writing, record.net2, "netto2", index);
    out += writing.separator;
    appendTextField(out, writing, record.unit, sizeof record.unit, "jednostka", index);
    out += writing.lineEnd;
}

}  // namespace

PriceRecord* addRecord(RecordStore& store) {
    const size_t slot = store.count % kRecordsPerBlock;
    if (slot == 0) {
        PriceRecord* block = new (std::nothrow) PriceRecord[kRecordsPerBlock];
        if (block == nullptr) return nullptr;
        store.blocks.emplace_back(block);
    }
    PriceRecord* record = &store.blocks.back()[slot];
    std::memset(record, 0, sizeof *record);
    ++store.count;
    return record;
}

void sortRecords(std::vector<PriceRecord>& records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const PriceRecord& a, const PriceRecord& b) {
                         return compareRecordCodes(a.code, b.code) < 0;
                     });
}

std::string serializeRecords(const std::vector<PriceRecord>& records) {
    std::string bytes(records.size() * sizeof(PriceRecord), '\0');
    if (!records.empty()) std::memcpy(bytes.data(), records.data(), bytes.size());
    return bytes;
}

std::string recordsToCsv(const std::vector<PriceRecord>& records, PrchkMessages& messages,
                         DumpForm form) {
    const bool plain = form == DumpForm::Plain;
    const CsvWriting writing{form, plain ? ',' : ';', plain ? '.' : ',', plain ? "\n" : "\r\n",
                             messages};
    std::string out = plain ? kPrchkCsvHeader : kSpreadsheetCsvHeader;
    out += writing.lineEnd;
    for (size_t i = 0; i < records.size(); ++i) {
        appendRecord(out, writing, records[i], static_cast<int64_t>(i));
    }
    return out;
}
