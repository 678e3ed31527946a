// Arbitrary bytes as setup.dat: whatever the file holds, every text field
// of the loaded settings ends within its width, and the file left behind is
// a whole record.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

template <size_t N>
void checkTerminated(const char (&field)[N]) {
    check(std::memchr(field, 0, N) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempFolder folder(true);  // setup.dat lives in the working folder
    if (!writeBytes(kSettingsFileName, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    resetFakeWindow();
    loadSettings();

    checkTerminated(settings.portName);
    checkTerminated(settings.priceFilePath);
    checkTerminated(settings.serverAddress);
    checkTerminated(settings.fontName);
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        checkTerminated(settings.valuePrefixes[slot]);
        checkTerminated(settings.weightPrefixes[slot]);
    }
    check(fakeWindow.warnings.size() <= 1);
    if (size >= sizeof(Settings)) {
        check(std::memcmp(&settings.baudRate, data + 44, 4) == 0);
    } else {
        struct stat info;
        check(stat(kSettingsFileName, &info) == 0 && info.st_size == sizeof(Settings));
    }
    return 0;
}
