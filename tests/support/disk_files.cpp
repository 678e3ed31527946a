// The setup.dat seam on the real files of the working folder, for the native
// unit tests and benchmarks, failing on demand as fakeFiles says.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "settings/settings_file_seam.h"
#include "tests/support/fakes.h"

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
    if (takeUnreadableRead()) return kSettingsFileUnreadable;
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
    const size_t allowed = writableBytes(size);
    const bool ok = writeAll(fd, static_cast<const char*>(bytes), allowed) && allowed == size &&
                    !fakeFiles.flushFails && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

bool settingsFileReplace(const char* from, const char* to) {
    return !takeFailingMove() && rename(from, to) == 0;
}

void settingsFileRemove(const char* path) {
    unlink(path);
}

void settingsFilePause(int milliseconds) {
    fakeFiles.pausedMs += milliseconds;
}

// The faults above stand for a held or refused file.
unsigned long settingsFileLastError() {
    return fakeFiles.error;
}

bool settingsFileExists(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && (info.st_mode & S_IFMT) != S_IFDIR;
}
