// The setup.dat seam on the Win32 file API, wide: names are Windows-1250
// (the price file's path from setup.dat may hold Polish letters) and are
// converted, so they name the same file on any Windows. Reading shares the file with
// whoever else has it open (a virus scanner, a backup), so only a holder
// that denies all sharing makes it unreadable. A save is flushed to the disk
// before the move, so the record that replaces setup.dat is really there
// after a power cut.
#include <windows.h>

#include "base/cleanup.h"
#include "base/windows1250.h"
#include "settings/settings_file_seam.h"

namespace {

// Kept when a call fails, before closing a handle can change it.
DWORD lastFailure = 0;

void noteFailure() {
    lastFailure = GetLastError();
}

}  // namespace

long settingsFileRead(const char* path, void* buffer, size_t capacity) {
    HANDLE file = CreateFileW(windows1250ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        noteFailure();
        const DWORD error = lastFailure;
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return missing ? kSettingsFileMissing : kSettingsFileUnreadable;
    }
    const Owned<HANDLE> guard(file, INVALID_HANDLE_VALUE, [](HANDLE open) { CloseHandle(open); });
    size_t got = 0;
    while (got < capacity) {
        DWORD part = 0;
        const DWORD wanted = static_cast<DWORD>(capacity - got);
        if (!ReadFile(file, static_cast<char*>(buffer) + got, wanted, &part, nullptr)) {
            noteFailure();
            return kSettingsFileUnreadable;
        }
        if (part == 0) break;  // end of a short file
        got += part;
    }
    return static_cast<long>(got);
}

bool settingsFileWrite(const char* path, const void* bytes, size_t size) {
    HANDLE file = CreateFileW(windows1250ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        noteFailure();
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) &&
              written == size && FlushFileBuffers(file);
    if (!ok) noteFailure();
    if (!CloseHandle(file) && ok) {
        noteFailure();
        ok = false;
    }
    return ok;
}

// Write-through: the move itself reaches the disk before the call returns.
bool settingsFileReplace(const char* from, const char* to) {
    if (MoveFileExW(windows1250ToWide(from).c_str(), windows1250ToWide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    noteFailure();
    return false;
}

void settingsFileRemove(const char* path) {
    DeleteFileW(windows1250ToWide(path).c_str());
}

void settingsFilePause(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

unsigned long settingsFileLastError() {
    return lastFailure;
}

bool settingsFileExists(const char* path) {
    const DWORD attributes = GetFileAttributesW(windows1250ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
