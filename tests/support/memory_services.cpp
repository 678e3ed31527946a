// The price-file, setup.dat, socket and local-address seams on memory. They
// behave as the native definitions do where the core can tell: a short file
// gives short reads, a missing one fails to open, a silent server runs the
// wait out with a time-out error.
#include "tests/support/memory_services.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "checker/socket_seam.h"
#include "lookup/price_file_io.h"
#include "settings/settings.h"
#include "settings/settings_file_seam.h"
#include "tests/support/fakes.h"

MemoryFiles memoryFiles;
MemoryServer memoryServer;

namespace {

constexpr PriceFile kMemoryPriceFile = 3;
constexpr NetSocket kMemorySocket = 4;
thread_local int lastNetError = 0;

int netFailure(int error) {
    lastNetError = error;
    return -1;
}

}  // namespace

void resetMemoryServices() {
    memoryFiles = MemoryFiles{};
    memoryServer = MemoryServer{};
}

// ---- PRCHK.DAT ----

PriceFile openPriceFileShared(const char*) {
    if (memoryFiles.priceFileMissing) return kNoPriceFile;
    ++memoryFiles.openPriceFiles;
    return kMemoryPriceFile;
}

int64_t priceFileLength(PriceFile) {
    return static_cast<int64_t>(memoryFiles.priceFile.size());
}

bool readPriceFileAt(PriceFile, int64_t offset, void* buffer, size_t size) {
    const auto length = static_cast<int64_t>(memoryFiles.priceFile.size());
    if (offset < 0 || offset > length || static_cast<int64_t>(size) > length - offset) {
        ++memoryFiles.readsOutside;
        return false;
    }
    std::memcpy(buffer, memoryFiles.priceFile.data() + offset, size);
    return true;
}

void closePriceFile(PriceFile file) {
    if (file != kNoPriceFile) --memoryFiles.openPriceFiles;
}

// ---- setup.dat and its temporary file ----

long settingsFileRead(const char* path, void* buffer, size_t capacity) {
    if (takeUnreadableRead()) return kSettingsFileUnreadable;
    const auto file = memoryFiles.files.find(path);
    if (file == memoryFiles.files.end()) return kSettingsFileMissing;
    const size_t got = std::min(capacity, file->second.size());
    std::memcpy(buffer, file->second.data(), got);
    return static_cast<long>(got);
}

bool settingsFileWrite(const char* path, const void* bytes, size_t size) {
    const size_t allowed = writableBytes(size);
    memoryFiles.files[path].assign(static_cast<const char*>(bytes), allowed);
    return allowed == size && !fakeFiles.flushFails;
}

bool settingsFileReplace(const char* from, const char* to) {
    const auto file = memoryFiles.files.find(from);
    if (takeFailingMove() || file == memoryFiles.files.end()) return false;
    std::string bytes = std::move(file->second);
    memoryFiles.files.erase(file);
    memoryFiles.files[to] = std::move(bytes);
    return true;
}

void settingsFileRemove(const char* path) {
    memoryFiles.files.erase(path);
}

void settingsFilePause(int milliseconds) {
    fakeFiles.pausedMs += milliseconds;
}

// The faults above stand for a held or refused file.
unsigned long settingsFileLastError() {
    return fakeFiles.error;
}

// The only path looked for is the price file's.
bool settingsFileExists(const char*) {
    return !memoryFiles.priceFileMissing;
}

// ---- the checker server and the local address ----

int netResolveHost(const char*, uint32_t* address) {
    if (memoryServer.unknownNames) return netFailure(EINVAL);
    *address = htonl(0x0A000002);  // 10.0.0.2
    return 0;
}

// Dotted text is read as the native definition reads it; no network needed.
int netParseDotted(const char* text, uint32_t* address) {
    const in_addr_t parsed = text[0] == '\0' ? INADDR_NONE : inet_addr(text);
    if (parsed == INADDR_NONE) return netFailure(EINVAL);
    *address = parsed;
    return 0;
}

NetSocket netOpenUdp() {
    ++memoryServer.openSockets;
    return kMemorySocket;
}

int netConnect(NetSocket socket, uint32_t, uint16_t) {
    return socket == kMemorySocket ? 0 : netFailure(EBADF);
}

int netSend(NetSocket, const void* data, int length) {
    memoryServer.lastRequest.assign(static_cast<const char*>(data), static_cast<size_t>(length));
    ++memoryServer.requests;
    return length;
}

int netReceive(NetSocket, void* buffer, int size, unsigned) {
    if (memoryServer.silent) return netFailure(ETIMEDOUT);
    const size_t length = std::min(memoryServer.reply.size(), static_cast<size_t>(size));
    std::memcpy(buffer, memoryServer.reply.data(), length);
    return static_cast<int>(length);
}

void netClose(NetSocket socket) {
    if (socket != kNoSocket) --memoryServer.openSockets;
}

int netLastError() {
    return lastNetError;
}

int findLocalAddress(char* out) {
    if (memoryServer.localAddress.empty()) return -1;
    std::snprintf(out, 256, "%s", memoryServer.localAddress.c_str());
    return 1;
}
