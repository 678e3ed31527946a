// The network seam on BSD sockets, for the native build and its tests.
// Nothing needs starting or ending here, so the exchange closes its socket
// on every path out.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/cleanup.h"
#include "checker/socket_seam.h"

namespace {

thread_local int lastError = 0;

int fail(int error) {
    lastError = error;
    return -1;
}

}  // namespace

int netResolveHost(const char* name, uint32_t* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(name, nullptr, &hints, &found);
    if (result != 0) return fail(result == EAI_SYSTEM ? errno : result);
    const Owned<addrinfo*> list(found, nullptr, freeaddrinfo);
    if (found == nullptr || found->ai_addr == nullptr) return fail(EAI_NONAME);
    sockaddr_in first{};
    std::memcpy(&first, found->ai_addr, sizeof first);
    *address = first.sin_addr.s_addr;
    return 0;
}

int netParseDotted(const char* text, uint32_t* address) {
    const in_addr_t parsed = text[0] == '\0' ? INADDR_NONE : inet_addr(text);
    if (parsed == INADDR_NONE) return fail(EINVAL);
    *address = parsed;
    return 0;
}

NetSocket netOpenUdp() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        lastError = errno;
        return kNoSocket;
    }
    return fd;
}

int netConnect(NetSocket socket, uint32_t address, uint16_t port) {
    if (socket == kNoSocket) return fail(EBADF);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) !=
        0) {
        return fail(errno);
    }
    return 0;
}

int netSend(NetSocket socket, const void* data, int length) {
    const ssize_t sent = send(static_cast<int>(socket), data, static_cast<size_t>(length), 0);
    if (sent < 0) return fail(errno);
    return static_cast<int>(sent);
}

int netReceive(NetSocket socket, void* buffer, int size, unsigned timeoutMs) {
    const int fd = static_cast<int>(socket);
    timeval bound{};
    bound.tv_sec = static_cast<time_t>(timeoutMs / 1000);
    bound.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0) return fail(errno);

    // A longer datagram is cut to the buffer by the kernel without a word.
    ssize_t received;
    do {
        received = recv(fd, buffer, static_cast<size_t>(size), 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        // The bound ran out: report it as a time-out (ETIMEDOUT), as Windows
        // reports WSAETIMEDOUT, rather than as "try again".
        return fail(errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno);
    }
    return static_cast<int>(received);
}

void netClose(NetSocket socket) {
    if (socket != kNoSocket) close(static_cast<int>(socket));
}

int netLastError() {
    return lastError;
}
