// setup.dat driving a whole start, with every file, the checker server and
// the local address in memory: loadSettings under the faults a shop's disk
// can have, then lookups in the mode the record names and in the other one
// (usual codes, in-store codes made with its prefixes, bytes from the input
// arriving as a scanner sends them, also while a box is up), the screen laid
// out with its show flags and font after each. Whatever the record holds,
// its texts end within their fields, a failed save leaves setup.dat as it
// was, the scanner is asked for the port and speed it names, no file or
// socket stays open, no code is lost, and nothing shown is NaN, infinite or
// longer than its line.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "lookup/in_store_codes.h"
#include "scanner/scanner.h"
#include "server/checker_request.h"
#include "settings/settings_file_seam.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_services.h"
#include "tests/support/price_file_builder.h"

namespace {

constexpr const char* kTemporaryName = "setup.dat.new";
constexpr size_t kTypedBytes = 512;

// The first input byte: how the server answers (bits 0-1), whether host
// names resolve (2), whether the local address is found (3), how many reads
// of setup.dat fail (4-5), whether a save fails (6), whether PRCHK.DAT is
// missing (7).
void setUpServicesAndFaults(uint8_t flags) {
    static const std::string kReplies[] = {
        "\x02\x80"
        "100Mleko 3,2% 1L       Cena:           3.49\r\x03",
        "\x02\x80"
        "101                    Nieznany kod towaru \r\x03",
        "", ""};
    memoryServer.reply = kReplies[flags & 3];
    memoryServer.silent = (flags & 3) == 2;
    memoryServer.unknownNames = (flags & 4) != 0;
    if ((flags & 8) != 0) memoryServer.localAddress.clear();
    static constexpr int kUnreadableReads[] = {0, 2, 11, 11};  // 11: held past every retry
    fakeFiles.unreadableReads = kUnreadableReads[(flags >> 4) & 3];
    fakeFiles.failingMoves = (flags & 0x40) != 0 ? 1000 : 0;
    memoryFiles.priceFileMissing = (flags & 0x80) != 0;
}

// The settings after a start from `file` (nullptr: no setup.dat): a whole,
// readable record is taken as it is; otherwise the defaults, saved over it
// unless it was held or the save failed. No temporary file is left.
void checkLoaded(const std::string* file, bool held) {
    checkTerminated(settings.portName);
    checkTerminated(settings.priceFilePath);
    checkTerminated(settings.serverAddress);
    checkTerminated(settings.fontName);
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        checkTerminated(settings.valuePrefixes[slot]);
        checkTerminated(settings.weightPrefixes[slot]);
    }
    const bool warned = settings.standaloneMode == 1 && memoryFiles.priceFileMissing;
    check(fakeWindow.warnings.size() == (warned ? 1u : 0u));
    check(memoryFiles.files.count(kTemporaryName) == 0);

    const auto left = memoryFiles.files.find(kSettingsFileName);
    const bool whole = file != nullptr && file->size() == sizeof(Settings) && !held;
    if (whole) {
        check(std::memcmp(&settings.baudRate, file->data() + 44, 4) == 0);
        check(std::memcmp(&settings.shortItemCode, file->data() + 244, 4) == 0);
        check(std::memcmp(&settings.showNet1, file->data() + 268, 20) == 0);
    }
    if (whole || held || fakeFiles.failingMoves > 0) {
        check(file == nullptr ? left == memoryFiles.files.end() : left->second == *file);
    } else {
        check(left != memoryFiles.files.end() &&
              left->second ==
                  std::string_view(reinterpret_cast<const char*>(&settings), sizeof settings));
    }
}

// What a start makes of the record's scanner port and speed, short of
// opening the port: the name as it stands, in the device namespace past
// COM7, and the speed asked for (57600 for none) on an 8N1 line.
void checkScannerRules() {
    const std::string name(fieldText(settings.portName));
    const std::string path = scannerDevicePath(settings.portName);
    check(path == name || path == "\\\\.\\" + name);
    const long speed = settings.baudRate > 0 ? settings.baudRate : 57600;
    const std::string expected = "baud=" + std::to_string(speed) + " data=8 parity=N stop=1";
    check(scannerModeText(settings.baudRate, 3).data() == expected);
}

// The file's records and, for every prefix in the settings, an item whose
// code a 7- and a 6-character in-store code of that prefix name.
std::vector<PriceRecord> priceRecordsFor(const Settings& s) {
    std::vector<PriceRecord> records = {
        makePriceRecord("5901234123457", "Mleko", 3.49, "opakowanie", 3.3, 3.23, 3.06),
        makePriceRecord("0036000291452", "Baton", 2.99),
        makePriceRecord("01234567", "Zapa\x92ki", 0.5),
    };
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        for (const char* prefix : {s.weightPrefixes[slot], s.valuePrefixes[slot]}) {
            if (prefix[0] == '\0') continue;
            records.push_back(makePriceRecord(std::string(prefix) + "12345", "Szynka", 39.9, "kg"));
            records.push_back(makePriceRecord(std::string(prefix) + "1234", "Ser", 25.0, "kg"));
        }
    }
    sortPriceRecords(records);
    return records;
}

// Codes a shop scans: an EAN-13, a UPC-A, an EAN-8 read as 7 characters,
// and an in-store code (1.234 kg or 12.34 zł) for every prefix in the
// settings.
std::vector<std::string> codesToScan(const Settings& s) {
    std::vector<std::string> codes = {"5901234123457", "036000291452", "1234567"};
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        for (const char* prefix : {s.weightPrefixes[slot], s.valuePrefixes[slot]}) {
            if (prefix[0] == '\0') continue;
            char code[kMaxCheckDigitText + 1] = {};
            std::snprintf(code, sizeof code, "%s12345012340", prefix);
            codes.emplace_back(computeCheckDigit(code, static_cast<int>(strlen(code))));
        }
    }
    return codes;
}

// After a lookup on the server: a name line or the communication error, the
// total grown by the price shown, and a request the checker server would take,
// carrying the code.
void checkShownFromServer(const std::string& code, double totalBefore, int requestsBefore) {
    const CheckState& s = checkState;
    check(fieldText(s.itemName) == kServerErrorText || std::memchr(s.itemName, 0, 21) != nullptr);
    check(s.total == totalBefore + s.price);
    check(memoryServer.openSockets == 0);
    if (memoryServer.requests == requestsBefore) return;
    const std::string& sent = memoryServer.lastRequest;
    CheckerRequest request;
    check(readCheckerRequest(reinterpret_cast<const unsigned char*>(sent.data()), sent.size(),
                             sent.size(), request) == nullptr);
    check(request.code == code.substr(0, kLookedUpCodeLength));
}

// What a lookup of the last expected code ended with, in the settings' mode.
void checkShown(const ExpectedEntry& entry, const std::vector<PriceRecord>& records,
                double totalBefore, int requestsBefore) {
    if (settings.standaloneMode != 0) {
        checkShownFromFile(entry.lastCode, records, totalBefore);
        check(memoryFiles.openPriceFiles == 0);
    } else {
        checkShownFromServer(entry.lastCode, totalBefore, requestsBefore);
    }
    checkLayout(checkState, 1024, 768);
}

void typeAndCheck(ExpectedEntry& entry, signed char byte, const std::vector<PriceRecord>& records) {
    const double totalBefore = checkState.total;
    const int requestsBefore = memoryServer.requests;
    if (typeByte(entry, byte)) checkShown(entry, records, totalBefore, requestsBefore);
}

// Feeds data[next..size) as the window does. A scanner goes on sending while
// a lookup's "Uwaga" box is up: each box lets the next byte in, which waits
// for the lookup to end. No lookup among them is lost: each one sends its
// request, or shows its box, as the first one did.
void feedAndCheck(ExpectedEntry& entry, const uint8_t* data, size_t next, size_t size,
                  const std::vector<PriceRecord>& records) {
    fakeWindow.duringWarning = [&] {
        // A paint meanwhile draws the screen from before the Enter.
        check(entryHandlerBusy() && &checkStateToPaint() != &checkState);
        checkLayout(checkStateToPaint(), 1024, 768);
        if (next < size) feedEntryChar(static_cast<signed char>(data[next++]));
    };
    while (next < size) {
        const size_t first = next++;
        const double totalBefore = checkState.total;
        const int requestsBefore = memoryServer.requests;
        const auto boxesBefore = static_cast<int>(fakeWindow.warnings.size());
        const int lookupsBefore = entry.lookups;
        check(feedEntryChar(static_cast<signed char>(data[first])) == 0);
        bool lookedUp = false;
        for (size_t i = first; i < next; ++i)
            lookedUp = expectByte(entry, static_cast<signed char>(data[i]));
        checkEntry(entry, static_cast<signed char>(data[next - 1]), lookedUp);
        const int lookups = entry.lookups - lookupsBefore;
        const int requests = memoryServer.requests - requestsBefore;
        const int boxes = static_cast<int>(fakeWindow.warnings.size()) - boxesBefore;
        check((requests == 0 || requests == lookups) && (boxes == 0 || boxes == lookups));
        if (lookedUp) checkShown(entry, records, totalBefore, requestsBefore);
    }
    fakeWindow.duringWarning = nullptr;
}

}  // namespace

// Input: the flags byte, then setup.dat (500 bytes; a shorter rest is a
// cut-off setup.dat, nothing at all no setup.dat), then bytes typed.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // A few dozen codes reach every path of a lookup; a longer stream only
    // repeats them, at the cost of runs.
    size = std::min(size, 1 + sizeof(Settings) + kTypedBytes);
    resetMemoryServices();
    resetFakeWindow();
    clearCheckState();
    entryPos = 0;
    setUpServicesAndFaults(data[0]);
    const bool held = fakeFiles.unreadableReads > 10;
    const size_t fileSize = std::min(size - 1, sizeof(Settings));
    const std::string file(reinterpret_cast<const char*>(data) + 1, fileSize);
    if (fileSize > 0) memoryFiles.files[kSettingsFileName] = file;

    loadSettings();
    checkLoaded(fileSize > 0 ? &file : nullptr, held);
    checkScannerRules();
    checkLayouts();

    const std::vector<PriceRecord> records = priceRecordsFor(settings);
    if (!memoryFiles.priceFileMissing) memoryFiles.priceFile = priceFileBytes(records);
    const std::vector<std::string> codes = codesToScan(settings);
    for (int pass = 0; pass < 2; ++pass) {
        expireIdleTimer();  // each pass starts from the prompt
        ExpectedEntry entry;
        for (const std::string& code : codes) {
            for (char c : code + "\r") typeAndCheck(entry, static_cast<signed char>(c), records);
        }
        feedAndCheck(entry, data, 1 + fileSize, size, records);
        checkLayouts();
        settings.standaloneMode = settings.standaloneMode == 0 ? 1 : 0;
    }
    return 0;
}
