// What each mode of the settings tool does, in the checker's own terms: the
// record as the dialog shows it, a change that leaves the rest as it was, a
// check made the way the checker makes its lookups, and the end of the
// folder's checker as the installer needs it.
#include <algorithm>
#include <cstring>
#include <utility>

#include "base/cleanup.h"
#include "base/decimal.h"
#include "base/utf8.h"
#include "checker/checker.h"
#include "lookup/check_state.h"
#include "lookup/polish_text.h"
#include "lookup/price_file.h"
#include "lookup/price_file_io.h"
#include "settings/settings.h"
#include "settings/settings_file_seam.h"
#include "setuptool/setup_tool.h"
#include "setuptool/setup_tool_seam.h"
#include "setuptool/tool_text.h"

namespace {

template <size_t N>
std::string fieldUtf8(const char (&field)[N]) {
    return settingsFieldUtf8(field, N);
}

std::string prefixList(const char (&slots)[kPrefixSlots][kPrefixSlotSize]) {
    std::string list;
    for (const auto& slot : slots) {
        const std::string prefix = settingsFieldUtf8(slot, kPrefixSlotSize);
        if (prefix.empty()) continue;
        list += (list.empty() ? "" : ", ") + prefix;
    }
    return list.empty() ? "(brak)" : list;
}

std::string shownPrices(const Settings& record) {
    std::string list;
    const std::pair<int32_t, const char*> prices[] = {{record.showNet1, "netto 1"},
                                                      {record.showNet2, "netto 2"},
                                                      {record.showGross1, "brutto 1"},
                                                      {record.showGross2, "brutto 2"}};
    for (const auto& [shown, name] : prices) {
        if (shown != 0) list += std::string(list.empty() ? "" : ", ") + name;
    }
    return list.empty() ? "(żadne)" : list;
}

// The record in the words of the dialog "Konfiguracja".
void describeSettings(const Settings& record) {
    toolSay(record.standaloneMode == 0 ? "Tryb pracy: serwer sprawdzarek (port UDP 1001)"
                                       : "Tryb pracy: samodzielny, z plikiem PRCHK.DAT");
    toolSay("Adres IP serwera: " + fieldUtf8(record.serverAddress));
    toolSay("Położenie pliku PRCHK.DAT: " + fieldUtf8(record.priceFilePath));
    const std::string port = fieldUtf8(record.portName);
    toolSay("Port komunikacji: " + (port.empty() ? "(pusty – praca bez czytnika)" : port));
    toolSay(toolLine("Szybkość: %ld%s", static_cast<long>(record.baudRate),
                     record.baudRate <= 0 ? " (port otwierany z szybkością 57600)" : ""));
    toolSay(record.shortItemCode == 0 ? "Szerokość kodu wagowego: 7 cyfr"
                                      : "Szerokość kodu wagowego: 6 cyfr");
    toolSay("Przedrostki kodów z wartością: " + prefixList(record.valuePrefixes));
    toolSay("Przedrostki kodów wagowych: " + prefixList(record.weightPrefixes));
    toolSay("Ceny u góry ekranu: " + shownPrices(record));
    toolSay("Czcionka: " + fieldUtf8(record.fontName));
    toolSay(record.fullScreen != 0 ? "Pełny ekran: tak" : "Pełny ekran: nie");
}

// setup.dat of the working folder, whole; else says why and gives false.
bool readWholeRecord(Settings& record) {
    const long got = readSettingsRecord(record);
    const std::string folder = toolFolderName();
    if (got == kSettingsFileUnreadable) {
        toolComplain(toolLine("Nie można odczytać pliku setup.dat w folderze %s (błąd %lu).",
                              folder.c_str(), settingsFileLastError()));
    } else if (got == kSettingsFileMissing) {
        toolComplain(
            toolLine("W folderze %s nie ma pliku setup.dat: sprawdzarka uruchomiona w "
                     "tym folderze zapisze w nim ustawienia domyślne.",
                     folder.c_str()));
    } else if (got < static_cast<long>(sizeof record)) {
        toolComplain(
            toolLine("Plik setup.dat w folderze %s ma %ld bajtów zamiast 500: "
                     "sprawdzarka zastąpi go ustawieniami domyślnymi.",
                     folder.c_str(), got));
    }
    return got == static_cast<long>(sizeof record);
}

int showSettings() {
    Settings record;
    if (!readWholeRecord(record)) return kToolFileTrouble;
    toolSay("Folder: " + toolFolderName());
    describeSettings(record);
    toolSay(toolCheckerRuns() ? "Sprawdzarka z tego folderu: działa"
                              : "Sprawdzarka z tego folderu: nie działa");
    return kToolDone;
}

void copySetting(const std::optional<std::string>& value, char* field, size_t width) {
    if (!value) return;
    std::memset(field, 0, width);
    std::memcpy(field, value->data(), std::min(value->size(), width - 1));
}

void copyPrefixes(const std::optional<std::vector<std::string>>& prefixes,
                  char (&slots)[kPrefixSlots][kPrefixSlotSize]) {
    if (!prefixes) return;
    std::memset(slots, 0, sizeof slots);
    for (size_t i = 0; i < prefixes->size() && i < kPrefixSlots; ++i) {
        copySetting((*prefixes)[i], slots[i], kPrefixSlotSize);
    }
}

// Only what is given changes; the rest of the shop's record stays.
void applySettings(const ToolRequest& request, Settings& record) {
    if (request.server) record.standaloneMode = 0;
    if (request.priceFile) record.standaloneMode = 1;
    copySetting(request.server, record.serverAddress, sizeof record.serverAddress);
    copySetting(request.priceFile, record.priceFilePath, sizeof record.priceFilePath);
    copySetting(request.port, record.portName, sizeof record.portName);
    if (request.baudRate) record.baudRate = *request.baudRate;
    if (request.fullScreen) record.fullScreen = *request.fullScreen;
    copyPrefixes(request.weightPrefixes, record.weightPrefixes);
    copyPrefixes(request.valuePrefixes, record.valuePrefixes);
    if (request.shortItemCode) record.shortItemCode = *request.shortItemCode;
}

// The record a change starts from: the prepared one, the folder's own, or
// the checker's defaults where the folder has none (or a short one).
bool startingRecord(const Settings* prepared, Settings& record) {
    if (prepared != nullptr) {
        record = *prepared;
        return true;
    }
    const long got = readSettingsRecord(record);
    if (got == static_cast<long>(sizeof record)) return true;
    if (got == kSettingsFileUnreadable) {
        toolComplain(
            toolLine("Nie można odczytać pliku setup.dat w folderze %s (błąd %lu): "
                     "nic nie zmieniono.",
                     toolFolderName().c_str(), settingsFileLastError()));
        return false;
    }
    toolSay("Brak pełnego pliku setup.dat: zmiany dotyczą ustawień domyślnych sprawdzarki.");
    makeDefaultSettingsRecord(record);
    return true;
}

int setSettings(const ToolRequest& request, const Settings* prepared) {
    const std::string folder = toolFolderName();
    if (toolCheckerRuns()) {
        toolComplain(
            toolLine("Sprawdzarka z folderu %s działa i przy zamykaniu zapisałaby swoje "
                     "ustawienia: zamknij ją (lumivo-setup stop) i spróbuj ponownie.",
                     folder.c_str()));
        return kToolCheckerRuns;
    }
    Settings record;
    if (!startingRecord(prepared, record)) return kToolFileTrouble;
    applySettings(request, record);
    if (!storeSettingsRecord(record)) {
        toolComplain(
            toolLine("Nie można zapisać pliku setup.dat w folderze %s (błąd %lu): "
                     "plik jest taki jak przedtem.",
                     folder.c_str(), settingsSaveError()));
        return kToolFileTrouble;
    }
    toolSay("Zapisano plik setup.dat w folderze " + folder + ":");
    describeSettings(record);
    return kToolDone;
}

// A prepared record (/SETUPDAT), read before the tool enters the folder, so
// a path relative to where it started means what the user meant.
bool readPreparedRecord(const ToolRequest& request, Settings& record) {
    char bytes[sizeof(Settings) + 1];
    const long got = toolReadFile(request.setupDat, bytes, sizeof bytes);
    if (got < static_cast<long>(sizeof record)) {
        toolComplain(got < 0 ? "/SETUPDAT: nie można odczytać pliku."
                             : "/SETUPDAT: plik ma mniej niż 500 bajtów, to nie jest setup.dat.");
        return false;
    }
    std::memcpy(&record, bytes, sizeof record);
    return true;
}

int checkPriceFile(const Settings& record) {
    const std::string path = fieldUtf8(record.priceFilePath);
    char name[sizeof record.priceFilePath + 1] = {};
    std::memcpy(name, record.priceFilePath, sizeof record.priceFilePath);
    const Owned<PriceFile> file(openPriceFileShared(name), kNoPriceFile, closePriceFile);
    if (!file.holds()) {
        toolComplain("Nie można otworzyć pliku cen " + path +
                     ": sprawdzarka pokaże „Brak pliku” przy starcie i „Towar nieznany” dla "
                     "każdego kodu.");
        return kToolNo;
    }
    const int64_t length = priceFileLength(file.get());
    const int64_t records = length > 0 ? length / kPriceRecordSize : 0;
    if (records == 0) {
        toolComplain("Plik cen " + path + " jest pusty: każdy kod da „Towar nieznany”.");
        return kToolNo;
    }
    toolSay(toolLine("Plik cen %s można otworzyć; towarów w nim: %lld.", path.c_str(),
                     static_cast<long long>(records)));
    if (length % kPriceRecordSize != 0) {
        toolSay(toolLine("Uwaga: ostatnie %lld bajtów nie tworzy pełnego towaru (prchk verify).",
                         static_cast<long long>(length % kPriceRecordSize)));
    }
    return kToolDone;
}

// One request with the checker's own exchange and its 3 s bound; the answer
// as the checker's screen would show it.
int checkServer(const Settings& record, const std::string& code) {
    char address[sizeof record.serverAddress + 1] = {};
    std::memcpy(address, record.serverAddress, sizeof record.serverAddress);
    toolSay(toolLine("Pytanie o kod %s do serwera %s (port UDP %d)...", code.c_str(),
                     fieldUtf8(record.serverAddress).c_str(), static_cast<int>(kCheckerPort)));
    char reply[kReplyBufferSize] = {};
    if (queryCheckerServer(address, kCheckerPort, code.c_str(), reply) != 0) {
        toolComplain(
            "Serwer nie odpowiedział w ciągu 3 s: sprawdzarka pokaże „Błąd komunikacji z "
            "serwerem sprawdzarek”.");
        return kToolNo;
    }
    clearCheckState();
    applyCheckerReply(reply);
    toDisplayText(checkState.itemName, static_cast<int32_t>(strnlen(checkState.itemName, 20)));
    char price[32];
    formatFixedPoint(price, sizeof price, checkState.price / kMoneyUnitsPerCurrencyUnit, 2);
    toolSay("Serwer odpowiedział; sprawdzarka pokaże: „" +
            settingsFieldUtf8(checkState.itemName, sizeof checkState.itemName) +
            "”, Cena: " + price);
    return kToolDone;
}

int checkSettings(const ToolRequest& request) {
    Settings record;
    if (!readWholeRecord(record)) return kToolFileTrouble;
    // The exchange's messages are shown as in a window, never suppressed
    // as on a full screen.
    settings = record;
    settings.fullScreen = 0;
    if (record.standaloneMode == 0) return checkServer(record, request.code);
    return checkPriceFile(record);
}

int stopChecker() {
    const std::string folder = toolFolderName();
    const StopOutcome outcome = toolStopChecker();
    if (!outcome.checkerRan && !outcome.watchdogRan) {
        toolSay("W folderze " + folder + " nie działa żadna sprawdzarka.");
        return kToolNo;
    }
    if (!outcome.ended) {
        toolComplain(toolLine("Nie udało się zamknąć sprawdzarki z folderu %s (proces %lu).",
                              folder.c_str(), static_cast<unsigned long>(outcome.processId)));
        return kToolCheckerRuns;
    }
    if (outcome.watchdogRan) toolSay("Zakończono nadzór sprawdzarki z folderu " + folder + ".");
    if (outcome.forced) {
        toolSay(
            toolLine("Sprawdzarka (proces %lu) nie zamknęła się na prośbę: zakończono jej "
                     "proces.",
                     static_cast<unsigned long>(outcome.processId)));
    } else if (outcome.checkerRan) {
        toolSay("Zamknięto sprawdzarkę z folderu " + folder + ".");
    }
    return kToolDone;
}

}  // namespace

int runSetupTool(const ToolRequest& request) {
    if (!request.log.empty() && !toolStartLog(request.log)) {
        toolComplain("Nie można dopisywać do pliku /LOG; komunikaty tylko na ekranie.");
    }
    if (request.mode == ToolMode::Help) return printToolHelp();
    Settings prepared;
    const bool hasPrepared = request.mode == ToolMode::Set && !request.setupDat.empty();
    if (hasPrepared && !readPreparedRecord(request, prepared)) return kToolFileTrouble;
    if (!request.folder.empty() && !toolEnterFolder(request.folder)) {
        toolComplain("Nie ma folderu " + utf16ToUtf8(request.folder) + ".");
        return kToolFileTrouble;
    }
    switch (request.mode) {
        case ToolMode::Show:
            return showSettings();
        case ToolMode::Set:
            return setSettings(request, hasPrepared ? &prepared : nullptr);
        case ToolMode::Check:
            return checkSettings(request);
        case ToolMode::Stop:
            return stopChecker();
        default:
            return runWatchdog(request);
    }
}
