// Arbitrary byte streams into the entry handler in standalone mode, against
// a small price file with plain, weighed and value-labelled goods: the code
// stays in its field and nothing shown is ever NaN or infinite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "lookup/entry.h"
#include "settings/settings.h"
#include "tests/support/fakes.h"
#include "tests/support/price_file_builder.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

const std::string& priceFilePath() {
    static TempFolder folder;
    static const std::string path = [] {
        std::vector<PriceRecord> records = {
            makePriceRecord("5901234123457", "Mleko", 3.49, "opakowanie"),
            makePriceRecord("0036000291452", "Baton", 2.99),
            makePriceRecord("01234567", "Zapa\x92ki", 0.5),
            makePriceRecord("2112345", "Szynka", 39.9, "kg"),
            makePriceRecord("211234", "Ser", 25.0, "kg"),
            makePriceRecord("2212345", "Ciasto", 30.0, "kg"),
            makePriceRecord("2212345999996", "Etykieta", 5.55),
            makePriceRecord("12345678901234567", std::string(121, 'N'), 1.0, std::string(18, 'U')),
            makePriceRecord("2199999", "Drogi", 1.0, "kg"),
            makePriceRecord("NAN", "Uszkodzony", 1.0),
            makePriceRecord("MAX", "Drogi", 1.0),
        };
        records[8].price = std::numeric_limits<double>::max();
        records[9].price = std::numeric_limits<double>::quiet_NaN();
        records[10].price = std::numeric_limits<double>::max();
        sortPriceRecords(records);
        const std::string file = folder.file("PRCHK.DAT");
        writePriceFile(file, records);
        return file;
    }();
    return path;
}

template <size_t N>
void checkTerminated(const char (&field)[N]) {
    check(std::memchr(field, 0, N) != nullptr);
}

void checkScreen() {
    check(entryPos >= 0 && entryPos < 16);
    checkTerminated(checkState.code);
    checkTerminated(checkState.unit);
    checkTerminated(checkState.itemName);
    for (double value :
         {checkState.price, checkState.unitPrice, checkState.total, checkState.weight,
          checkState.net1, checkState.net2, checkState.gross1, checkState.gross2})
        check(std::isfinite(value));
}

}  // namespace

// The first byte chooses the item-code length and whether the idle timer
// runs out between bytes of value 0x7F; the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::memset(&settings, 0, sizeof settings);
    settings.standaloneMode = 1;
    settings.shortItemCode = data[0] & 1;
    std::strcpy(settings.weightPrefixes[0], "21");
    std::strcpy(settings.valuePrefixes[2], "22");
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s",
                  priceFilePath().c_str());
    clearCheckState();
    entryPos = 0;
    resetFakeWindow();

    const bool expireOnDel = (data[0] & 2) != 0;
    for (size_t i = 1; i < size; ++i) {
        if (expireOnDel && data[i] == 0x7F) {
            expireIdleTimer();
        } else {
            check(handleEntryChar(static_cast<signed char>(data[i])) == 0);
        }
        checkScreen();
    }
    return 0;
}
