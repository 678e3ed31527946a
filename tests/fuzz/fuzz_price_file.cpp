// Arbitrary bytes as PRCHK.DAT: the lookup must never read outside the file
// or a field, must stay within its read bound, and must only report a
// record whose code really matches.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/support/price_file_builder.h"

namespace {

TempFolder& folder() {
    static TempFolder made;
    return made;
}

void check(bool condition) {
    if (!condition) std::abort();
}

bool fieldEquals(const char (&field)[17], const std::string& code) {
    return code.size() <= sizeof field && std::memcmp(field, code.data(), code.size()) == 0 &&
           (code.size() == sizeof field || field[code.size()] == '\0');
}

void lookUp(const std::string& code, int64_t records) {
    const int32_t index = lookupPriceRecord(code.c_str());
    check(index >= -1 && index < records);
    const int bound = records == 0 ? 1 : static_cast<int>(std::floor(std::log2(records))) + 2;
    check(lastLookupReads <= bound);
    if (index >= 0) check(fieldEquals(recordBuffer.code, code));
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

    static const std::string path = folder().file("PRCHK.DAT");
    if (!writeBytes(path, fileBytes)) return 0;
    std::memset(&settings, 0, sizeof settings);
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path.c_str());

    const int64_t records = static_cast<int64_t>(fileBytes.size()) / kPriceRecordSize;
    lookUp(code, records);
    for (int64_t i = 0; i < records && i < 8; ++i) {
        const char* field = fileBytes.data() + i * kPriceRecordSize;
        lookUp(std::string(field, strnlen(field, 17)), records);
    }
    return 0;
}
