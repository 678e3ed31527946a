// setup.dat: the whole configuration of a checker, one 500-byte record in
// the working directory. A missing or cut-off file is replaced by defaults
// at once, so a freshly copied program starts in server mode and asks the
// checker server found on this machine.
#include "settings/settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "settings/warning.h"

Settings settings;

namespace {

struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file != nullptr) std::fclose(file);
    }
};

template <size_t N>
void copyText(char (&field)[N], const char* text) {
    std::snprintf(field, N, "%s", text);
}

// The file may come from anywhere (an old version, a hand edit, a broken
// disk): every text field ends with a zero at its last byte whatever the
// file says, so the path, the font and the address are always terminated.
void terminateTextFields(Settings& s) {
    s.portName[sizeof s.portName - 1] = '\0';
    s.priceFilePath[sizeof s.priceFilePath - 1] = '\0';
    s.serverAddress[sizeof s.serverAddress - 1] = '\0';
    s.fontName[sizeof s.fontName - 1] = '\0';
    for (int slot = 0; slot < kPrefixSlots; ++slot) {
        s.valuePrefixes[slot][kPrefixSlotSize - 1] = '\0';
        s.weightPrefixes[slot][kPrefixSlotSize - 1] = '\0';
    }
}

bool readSettingsFile(Settings& s) {
    FileCloser guard{std::fopen(kSettingsFileName, "rb")};
    if (guard.file == nullptr) return false;
    return std::fread(&s, 1, sizeof s, guard.file) == sizeof s;
}

void makeDefaultSettings(Settings& s) {
    std::memset(&s, 0, sizeof s);
    copyText(s.portName, "COM1");
    copyText(s.priceFilePath, kDefaultPriceFilePath);
    char localAddress[256] = {};
    if (findLocalAddress(localAddress) < 0) {
        copyText(s.serverAddress, "127.0.0.1");
    } else {
        localAddress[sizeof localAddress - 1] = '\0';
        copyText(s.serverAddress, localAddress);
    }
    copyText(s.fontName, "Arial CE");
    s.baudRate = 9600;
}

bool priceFileExists(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && (info.st_mode & S_IFMT) != S_IFDIR;
}

// A checker in standalone mode without its price file answers every scan
// with "Towar nieznany"; the shop should know why before the first scan.
void warnWhenPriceFileMissing(const Settings& s) {
    if (s.standaloneMode != 1 || priceFileExists(s.priceFilePath)) return;
    char text[sizeof s.priceFilePath + 32];
    std::snprintf(text, sizeof text, "Brak pliku: %s", s.priceFilePath);
    showWarning(text);
}

}  // namespace

void loadSettings() {
    if (readSettingsFile(settings)) {
        terminateTextFields(settings);
    } else {
        makeDefaultSettings(settings);
        saveSettings();
    }
    warnWhenPriceFileMissing(settings);
}

void saveSettings() {
    FileCloser guard{std::fopen(kSettingsFileName, "wb")};
    if (guard.file == nullptr) return;
    std::fwrite(&settings, 1, sizeof settings, guard.file);
}
