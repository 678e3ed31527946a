// Bisection over PRCHK.DAT. The file is opened for every lookup and closed
// before returning, so a file the back office replaces between two scans is
// read afresh by the second, and nothing stays locked.
#include "lookup/price_file.h"

#include <cstring>

#include "lookup/price_file_io.h"
#include "settings/settings.h"

PriceRecord recordBuffer;
int lastLookupReads = 0;

namespace {

struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file != nullptr) std::fclose(file);
    }
};

// Orders `code` against a record's key as unsigned bytes up to the zero
// byte. A damaged key that fills its 17 bytes without a zero is taken as
// ending there, so the comparison never leaves the field.
int compareWithRecordCode(const char* code, const char (&field)[17]) {
    for (size_t i = 0;; ++i) {
        const auto a = static_cast<unsigned char>(code[i]);
        const auto b = i < sizeof field ? static_cast<unsigned char>(field[i]) : 0u;
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

bool readRecordAt(std::FILE* file, int64_t index) {
    ++lastLookupReads;
    return readPriceFileAt(file, index * kPriceRecordSize, &recordBuffer, kPriceRecordSize);
}

}  // namespace

// The probe sequence is that of the price checkers already in shops: the
// step taken is (half + 1) / 2 of the half before halving, so even the last
// probe moves, and the position is clamped to the file.
int32_t lookupPriceRecord(const char* code) {
    lastLookupReads = 0;
    char path[sizeof settings.priceFilePath + 1] = {};
    std::memcpy(path, settings.priceFilePath, sizeof settings.priceFilePath);
    FileCloser guard{openPriceFileShared(path)};
    if (guard.file == nullptr) return -1;

    const int64_t length = priceFileLength(guard.file);
    if (length < 0) return -1;
    int64_t n = length / kPriceRecordSize;
    if (n > INT32_MAX) n = INT32_MAX;  // the index must fit the result
    int64_t half = n / 2;
    int64_t pos = n / 2;
    for (;;) {
        if (!readRecordAt(guard.file, pos)) return -1;
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
