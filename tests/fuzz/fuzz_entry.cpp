// Arbitrary byte streams into the entry handler in standalone mode, against
// a small price file in memory with plain, weighed and value-labelled goods
// and damaged prices: no code is lost, the code stays in its field, and what
// a lookup shows is a record of the file with that code or "Towar nieznany",
// never a NaN or an infinite amount.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_services.h"
#include "tests/support/price_file_builder.h"

namespace {

const std::vector<PriceRecord>& priceRecords() {
    static const std::vector<PriceRecord> records = [] {
        std::vector<PriceRecord> made = {
            makePriceRecord("5901234123457", "Mleko", 3.49, "opakowanie", 3.3, 3.23, 3.06),
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
        made[8].price = std::numeric_limits<double>::max();
        made[9].price = std::numeric_limits<double>::quiet_NaN();
        made[10].price = std::numeric_limits<double>::max();
        sortPriceRecords(made);
        return made;
    }();
    return records;
}

}  // namespace

// The first byte chooses the item-code length and whether the idle timer
// runs out at bytes of value 0x7F; the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const std::string fileBytes = priceFileBytes(priceRecords());
    resetMemoryServices();
    resetFakeWindow();
    memoryFiles.priceFile = fileBytes;
    std::memset(&settings, 0, sizeof settings);
    settings.standaloneMode = 1;
    settings.shortItemCode = data[0] & 1;
    std::strcpy(settings.weightPrefixes[0], "21");
    std::strcpy(settings.valuePrefixes[2], "22");
    clearCheckState();
    entryPos = 0;

    const bool expireOnDel = (data[0] & 2) != 0;
    ExpectedEntry entry;
    for (size_t i = 1; i < size; ++i) {
        if (expireOnDel && data[i] == 0x7F) {
            expireIdleTimer();
            entry.typed.clear();
            checkCheckState();
            continue;
        }
        const double totalBefore = checkState.total;
        if (!typeByte(entry, static_cast<signed char>(data[i]))) continue;
        checkShownFromFile(entry.lastCode, priceRecords(), totalBefore);
        check(memoryFiles.openPriceFiles == 0);
    }
    checkLayouts();
    return 0;
}
