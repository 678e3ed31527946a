// Bisection over PRCHK.DAT. The file is opened for every lookup and closed
// before returning, so a file the back office replaces between two scans is
// read afresh by the second, and nothing stays locked.
#include "lookup/price_file.h"

#include <cstring>

#include "base/cleanup.h"
#include "lookup/price_file_io.h"
#include "settings/settings.h"

PriceRecord recordBuffer;
int lastLookupReads = 0;
int64_t lastLookupOffsets[kMaxLookupReads];

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

bool readRecordAt(PriceFile file, int64_t index) {
    const int64_t offset = index * kPriceRecordSize;
    if (lastLookupReads < kMaxLookupReads) lastLookupOffsets[lastLookupReads] = offset;
    ++lastLookupReads;
    return readPriceFileAt(file, offset, &recordBuffer, kPriceRecordSize);
}

}  // namespace

// Bisection with a step of (half + 1) / 2 of the half before halving, so even
// the last probe moves, and the position clamped to the file: a lookup reads
// at most floor(log2 n) + 2 records, always at the same places for a file of
// a given size, and finds a record wherever it lies in a sorted file. A file
// sorted wrongly by the back office gives "not found", never a wrong record.
int32_t lookupPriceRecord(const char* code) {
    lastLookupReads = 0;
    char path[sizeof settings.priceFilePath + 1] = {};
    std::memcpy(path, settings.priceFilePath, sizeof settings.priceFilePath);
    const Owned<PriceFile> file(openPriceFileShared(path), kNoPriceFile, closePriceFile);
    if (!file.holds()) return -1;

    const int64_t length = priceFileLength(file.get());
    if (length < 0) return -1;
    int64_t n = length / kPriceRecordSize;
    if (n > INT32_MAX) n = INT32_MAX;  // the index must fit the result
    int64_t half = n / 2;
    int64_t pos = n / 2;
    for (;;) {
        if (!readRecordAt(file.get(), pos)) return -1;
        const int order = compareWithRecordCode(code, recordBuffer.code);
        if (order == 0) return static_cast<int32_t>(pos);
        const int64_t step = (half + 1) / 2;
        pos = order < 0 ? pos - step : pos + step;
        if (half == 0) return -1;
        half /= 2;
        if (pos < 0) pos = 0;
        if (pos >= n) pos = n - 1;
    }
}
