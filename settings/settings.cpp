// setup.dat: the whole configuration of a checker, one 500-byte record in
// the working directory. A missing or cut-off file is replaced by defaults
// at once, so a freshly copied program starts in server mode and asks the
// checker server found on this machine.
//
// The file is a shop's only copy of its configuration, so it is never
// emptied in place: a save goes to a temporary file beside it that replaces
// it in one step, and a power cut or a full disk mid-save leaves the old
// record whole. A file that is there but held by a virus scanner or a backup
// is waited for, and if it stays held the defaults run in memory only.
#include "settings/settings.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "settings/settings_file_seam.h"
#include "settings/warning.h"

namespace {

constexpr const char* kSettingsTempName = "setup.dat.new";

// A scanner or a backup holds a file for a moment; a second of tries every
// 100 ms outlasts that without keeping the checker from starting.
constexpr int kReadRetries = 10;
constexpr int kRetryPauseMs = 100;

// Set while setup.dat exists but could not be read: the defaults in memory
// must not replace the shop's real settings behind its back.
bool setupDatHeld = false;

// The system's error number of the last save that failed.
unsigned long lastSaveError = 0;

// Bytes read into `s`, or kSettingsFileMissing / kSettingsFileUnreadable
// once a held file has been tried for a second.
long readSettingsFile(Settings& s) {
    long got = settingsFileRead(kSettingsFileName, &s, sizeof s);
    for (int retry = 0; retry < kReadRetries && got == kSettingsFileUnreadable; ++retry) {
        settingsFilePause(kRetryPauseMs);
        got = settingsFileRead(kSettingsFileName, &s, sizeof s);
    }
    return got;
}

// The record goes to disk whole beside setup.dat and only then takes its
// place; whatever fails on the way, setup.dat keeps its old bytes and no
// half-written temporary file stays behind.
bool replaceSettingsFile(const Settings& record) {
    if (settingsFileWrite(kSettingsTempName, &record, sizeof record) &&
        settingsFileReplace(kSettingsTempName, kSettingsFileName)) {
        return true;
    }
    const unsigned long error = settingsFileLastError();
    settingsFileRemove(kSettingsTempName);
    lastSaveError = error;
    return false;
}

void warnSaveFailed(unsigned long error) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Nie mo\xBFna zapisa\xE6 ustawie\xF1 w pliku setup.dat (b\xB3\xB9"
                  "d %lu). Zmiany dzia\xB3"
                  "aj\xB9 do zamkni\xEA"
                  "cia programu.",
                  error);
    showWarning(text);
}

// A virus scanner or a backup that holds setup.dat for a moment is
// outwaited as the read outwaits it.
bool replaceSettingsFileRetrying(const Settings& record) {
    bool saved = replaceSettingsFile(record);
    for (int retry = 0; retry < kReadRetries && !saved; ++retry) {
        settingsFilePause(kRetryPauseMs);
        saved = replaceSettingsFile(record);
    }
    return saved;
}

// The user's own changes: a file that stays refused (read-only, held for
// long) is reported, since the shop would otherwise find its changes gone
// after the next start.
bool replaceSettingsFileForUser(const Settings& record) {
    const bool saved = replaceSettingsFileRetrying(record);
    if (!saved) warnSaveFailed(lastSaveError);
    return saved;
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

// A checker in standalone mode without its price file answers every scan
// with "Towar nieznany"; the shop should know why before the first scan.
void warnWhenPriceFileMissing(const Settings& s) {
    if (s.standaloneMode != 1 || settingsFileExists(s.priceFilePath)) return;
    char text[sizeof s.priceFilePath + 32];
    std::snprintf(text, sizeof text, "Brak pliku: %s", s.priceFilePath);
    showWarning(text);
}

}  // namespace

void loadSettings() {
    Settings onDisk;
    const long got = readSettingsFile(onDisk);
    setupDatHeld = got == kSettingsFileUnreadable;
    if (got == static_cast<long>(sizeof onDisk)) {
        settings = onDisk;
        terminateTextFields(settings);
    } else {
        makeDefaultSettings(settings);
        saveSettings();  // nothing while the file is held
    }
    warnWhenPriceFileMissing(settings);
}

// Defaults shown in the dialog for a file that is only held would be saved
// by OK over the shop's real settings, and "Anuluj" would leave the checker
// running on them: the dialog shows what the checker runs on instead.
void loadSettingsForDialog() {
    Settings onDisk;
    const long got = readSettingsFile(onDisk);
    if (got == kSettingsFileUnreadable) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "Nie mo\xBFna odczyta\xE6 pliku setup.dat (b\xB3\xB9"
                      "d %lu). Okno pokazuje "
                      "ustawienia, z kt\xF3rymi program dzia\xB3"
                      "a.",
                      settingsFileLastError());
        showWarning(text);
    } else if (got == static_cast<long>(sizeof onDisk)) {
        settings = onDisk;
        terminateTextFields(settings);
        setupDatHeld = false;
    } else {
        makeDefaultSettings(settings);
        setupDatHeld = false;
        saveSettings();
    }
    warnWhenPriceFileMissing(settings);
}

void saveSettings() {
    if (setupDatHeld) return;
    replaceSettingsFile(settings);
}

// What the user has just chosen is worth more than a file we could not
// read; once it is on disk, memory and file agree again.
void saveUserSettings() {
    if (replaceSettingsFileForUser(settings)) setupDatHeld = false;
}

// The defaults in memory must not go over the shop's file: the record on
// disk gets the one field the user changed. Memory runs on as it is.
void saveFullScreenSetting() {
    if (!setupDatHeld) {
        saveUserSettings();
        return;
    }
    Settings onDisk;
    const long got = readSettingsFile(onDisk);
    if (got == kSettingsFileUnreadable) {
        warnSaveFailed(settingsFileLastError());
    } else if (got == static_cast<long>(sizeof onDisk)) {
        onDisk.fullScreen = settings.fullScreen;
        replaceSettingsFileForUser(onDisk);
    } else {
        saveUserSettings();  // gone or cut short meanwhile: nothing to keep
    }
}

long readSettingsRecord(Settings& record) {
    const long got = readSettingsFile(record);
    if (got == static_cast<long>(sizeof record)) terminateTextFields(record);
    return got;
}

void makeDefaultSettingsRecord(Settings& record) {
    makeDefaultSettings(record);
}

bool storeSettingsRecord(const Settings& record) {
    return replaceSettingsFileRetrying(record);
}

unsigned long settingsSaveError() {
    return lastSaveError;
}
