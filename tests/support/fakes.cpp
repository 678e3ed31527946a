#include "tests/support/fakes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "lookup/entry.h"
#include "lookup/entry_seam.h"
#include "scanner/byte_delivery_seam.h"
#include "settings/settings_file_seam.h"
#include "settings/warning.h"

FakeWindow fakeWindow;
FakeFiles fakeFiles;

void resetFakeWindow() {
    fakeFiles = FakeFiles{};
    fakeWindow.timerRestarts = 0;
    fakeWindow.timerStops = 0;
    fakeWindow.repaints = 0;
    fakeWindow.warnings.clear();
    fakeWindow.duringWarning = nullptr;
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    fakeWindow.scannerBytes.clear();
    fakeWindow.scannerBytesToHandler = false;
}

void restartIdleTimer() {
    ++fakeWindow.timerRestarts;
    idleTimer = 1;
}

void stopIdleTimer() {
    if (idleTimer != 0) ++fakeWindow.timerStops;
    idleTimer = 0;
}

void requestRepaint() {
    ++fakeWindow.repaints;
}

void showWarning(const char* text) {
    fakeWindow.warnings.emplace_back(text);
    if (fakeWindow.duringWarning) fakeWindow.duringWarning();
}

void deliverScannerByte(signed char byte) {
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    fakeWindow.scannerBytes.push_back(byte);
    if (fakeWindow.scannerBytesToHandler) handleEntryChar(byte);
}

// ---- the setup.dat seam on POSIX files, with the faults of fakeFiles ----

namespace {

// False when a read fails; `*got` holds what arrived before the end.
bool readAll(int fd, char* buffer, size_t capacity, size_t* got) {
    *got = 0;
    while (*got < capacity) {
        const ssize_t part = read(fd, buffer + *got, capacity - *got);
        if (part < 0 && errno == EINTR) continue;
        if (part < 0) return false;
        if (part == 0) break;
        *got += static_cast<size_t>(part);
    }
    return true;
}

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t part = write(fd, bytes, size);
        if (part < 0 && errno == EINTR) continue;
        if (part <= 0) return false;
        bytes += part;
        size -= static_cast<size_t>(part);
    }
    return true;
}

}  // namespace

long settingsFileRead(const char* path, void* buffer, size_t capacity) {
    if (fakeFiles.unreadableReads > 0) {
        --fakeFiles.unreadableReads;
        return kSettingsFileUnreadable;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? kSettingsFileMissing : kSettingsFileUnreadable;
    size_t got = 0;
    const bool ok = readAll(fd, static_cast<char*>(buffer), capacity, &got);
    close(fd);
    return ok ? static_cast<long>(got) : kSettingsFileUnreadable;
}

bool settingsFileWrite(const char* path, const void* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t allowed = size;
    if (fakeFiles.writeFailsAfter >= 0)
        allowed = std::min(size, static_cast<size_t>(fakeFiles.writeFailsAfter));
    const bool ok = writeAll(fd, static_cast<const char*>(bytes), allowed) && allowed == size &&
                    !fakeFiles.flushFails && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

bool settingsFileReplace(const char* from, const char* to) {
    return !fakeFiles.moveFails && rename(from, to) == 0;
}

void settingsFileRemove(const char* path) {
    unlink(path);
}

void settingsFilePause(int milliseconds) {
    fakeFiles.pausedMs += milliseconds;
}
