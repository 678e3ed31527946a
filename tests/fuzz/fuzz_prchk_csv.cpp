// Arbitrary bytes as a shop's CSV price list, read as `prchk build` reads it
// but without writing a file: a list is either refused with a reason or
// gives sorted records with unique codes, every text ending within its field
// and every price a finite number; and what a dump writes of those records,
// in either form, reads back to the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "pricelist/pricelist.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

template <size_t N>
void checkTerminated(const char (&field)[N]) {
    check(std::memchr(field, 0, N) != nullptr);
}

void checkRecords(const std::vector<PriceRecord>& records) {
    check(!records.empty());
    for (size_t i = 0; i < records.size(); ++i) {
        const PriceRecord& record = records[i];
        checkTerminated(record.code);
        checkTerminated(record.name);
        checkTerminated(record.unit);
        check(record.code[0] != 0 && record.name[0] != 0);
        for (double price : {record.price, record.gross2, record.net1, record.net2}) {
            check(std::isfinite(price));
        }
        if (i > 0) check(compareRecordCodes(records[i - 1].code, record.code) < 0);
    }
}

// The dump in `dumpForm` read back as the build would read that file.
void checkDumpReadsBack(const std::vector<PriceRecord>& records, DumpForm dumpForm) {
    PrchkMessages dumpMessages;
    const std::string csv = recordsToCsv(records, dumpMessages, dumpForm);
    CsvForm form;
    std::vector<PriceRecord> again;
    PrchkMessages messages;
    check(readPriceList(csv, form, again, messages) == 0);
    check(serializeRecords(again) == serializeRecords(records));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CsvForm form;
    std::vector<PriceRecord> records;
    PrchkMessages messages;
    if (readPriceList(bytes, form, records, messages) != 0) {
        check(!messages.errors.empty() && records.empty());
        return 0;
    }
    check(messages.errors.empty());
    check(form.separator != 0 && form.decimalMark != 0 && form.encoding != TextEncoding::Detect);
    checkRecords(records);
    checkDumpReadsBack(records, DumpForm::Plain);
    checkDumpReadsBack(records, DumpForm::Spreadsheet);
    return 0;
}
