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

// Reads one record of the open file into recordBuffer, noting where.
bool readRecordAt(const void* source, int64_t index, PriceRecord* record) {
    const int64_t offset = index * kPriceRecordSize;
    if (lastLookupReads < kMaxLookupReads) lastLookupOffsets[lastLookupReads] = offset;
    ++lastLookupReads;
    const auto file = *static_cast<const PriceFile*>(source);
    return readPriceFileAt(file, offset, record, kPriceRecordSize);
}

}  // namespace

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
    const PriceFile open = file.get();
    return static_cast<int32_t>(bisectRecords(n, code, readRecordAt, &open, &recordBuffer));
}
