// Arbitrary bytes as PRCHK.DAT, served from memory: a lookup reads only
// whole records inside the file, stays within its bound of reads, closes the
// file, and reports only a record whose code really matches. Sorted into the
// order the back office writes, the same records are all found: a sorted
// file never loses a code.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/memory_services.h"
#include "tests/support/price_file_builder.h"

namespace {

// The lookup of `code` in the file in memory; its index, after the checks.
int32_t lookUp(const std::string& code, int64_t records) {
    const int32_t index = lookupPriceRecord(code.c_str());
    check(index >= -1 && index < records);
    const int bound = records == 0 ? 1 : static_cast<int>(std::floor(std::log2(records))) + 2;
    check(lastLookupReads <= bound);
    check(memoryFiles.openPriceFiles == 0);
    check(records == 0 || memoryFiles.readsOutside == 0);
    if (index >= 0) check(fieldText(recordBuffer.code) == code);
    return index;
}

std::vector<PriceRecord> recordsOf(std::string_view bytes) {
    std::vector<PriceRecord> records(bytes.size() / kPriceRecordSize);
    if (!records.empty())
        std::memcpy(records.data(), bytes.data(), records.size() * sizeof records[0]);
    return records;
}

}  // namespace

// Input: a code to look up (up to the first zero byte, at most 20 bytes),
// then the file's bytes. The codes of the first records are looked up too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const size_t codeLength = strnlen(bytes, std::min<size_t>(size, 20));
    const std::string code(bytes, codeLength);
    const size_t fileStart = std::min(size, codeLength + 1);
    const std::string_view fileBytes(bytes + fileStart, size - fileStart);
    resetMemoryServices();
    std::memset(&settings, 0, sizeof settings);

    memoryFiles.priceFile = fileBytes;
    std::vector<PriceRecord> records = recordsOf(fileBytes);
    const auto count = static_cast<int64_t>(records.size());
    lookUp(code, count);
    for (size_t i = 0; i < records.size() && i < 8; ++i)
        lookUp(std::string(fieldText(records[i].code)), count);

    sortPriceRecords(records);
    memoryFiles.priceFile = priceFileBytes(records);
    for (size_t i = 0; i < records.size() && i < 16; ++i)
        check(lookUp(std::string(fieldText(records[i].code)), count) >= 0);
    return 0;
}
