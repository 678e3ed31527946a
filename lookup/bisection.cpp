// The bisection PRCHK.DAT is made for, over any reader of records: the
// checker reads them from the file, the checker server from its list in
// memory, and both find a code in the same record.
#include "lookup/price_file.h"

namespace {

// Orders the looked-up `code` against a record's key as unsigned bytes up to
// the zero byte. Unlike compareRecordCodes, which orders two keys, the code
// may be longer than a key: a damaged key that fills its 17 bytes without a
// zero ends there, and a longer code sorts after it.
int compareWithRecordCode(const char* code, const char (&field)[17]) {
    for (size_t i = 0;; ++i) {
        const auto a = static_cast<unsigned char>(code[i]);
        const auto b = i < sizeof field ? static_cast<unsigned char>(field[i]) : 0u;
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

}  // namespace

// Bisection with a step of (half + 1) / 2 of the half before halving, so even
// the last probe moves, and the position clamped to the records: a lookup
// reads at most floor(log2 n) + 2 records, always at the same places for a
// given n, and finds a record wherever it lies in sorted records. Records
// sorted wrongly by the back office give "not found", never a wrong record.
int64_t bisectRecords(int64_t count, const char* code, RecordReader readAt, const void* source,
                      PriceRecord* record) {
    int64_t half = count / 2;
    int64_t pos = count / 2;
    for (;;) {
        if (!readAt(source, pos, record)) return -1;
        const int order = compareWithRecordCode(code, record->code);
        if (order == 0) return pos;
        const int64_t step = (half + 1) / 2;
        pos = order < 0 ? pos - step : pos + step;
        if (half == 0) return -1;
        half /= 2;
        if (pos < 0) pos = 0;
        if (pos >= count) pos = count - 1;
    }
}
