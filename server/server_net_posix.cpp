// The checker server's network, clock and stop handling on BSD sockets and
// signals.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "server/server_net.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int lastError = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

}  // namespace

ServerSocket serverOpenSocket(uint32_t address, uint16_t port, uint16_t* boundPort,
                              std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return kNoServerSocket;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = std::strerror(errno);
        close(fd);
        return kNoServerSocket;
    }
    *boundPort = ntohs(local.sin_port);
    return fd;
}

int serverReceive(ServerSocket socket, void* buffer, int size, ServerPeer* from, unsigned pollMs) {
    const int fd = static_cast<int>(socket);
    pollfd watch{fd, POLLIN, 0};
    const int ready = poll(&watch, 1, static_cast<int>(pollMs));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return -2;
    if (ready < 0) {
        lastError = errno;
        return -1;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    // MSG_TRUNC makes the kernel tell the datagram's real length.
    const ssize_t received = recvfrom(fd, buffer, static_cast<size_t>(size), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received < 0) {
        // An ICMP error left over from an earlier answer is no reason to stop.
        if (errno == EINTR || errno == EAGAIN || errno == ECONNREFUSED) return -2;
        lastError = errno;
        return -1;
    }
    from->address = peer.sin_addr.s_addr;
    from->port = ntohs(peer.sin_port);
    return static_cast<int>(received);
}

int serverSendTo(ServerSocket socket, const void* data, int length, const ServerPeer& to) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(to.port);
    peer.sin_addr.s_addr = to.address;
    const ssize_t sent = sendto(static_cast<int>(socket), data, static_cast<size_t>(length), 0,
                                reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0) {
        lastError = errno;
        return -1;
    }
    return 0;
}

void serverClose(ServerSocket socket) {
    if (socket != kNoServerSocket) close(static_cast<int>(socket));
}

std::string serverLastErrorText() {
    return std::strerror(lastError);
}

void serverInstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void serverRequestStop() {
    stopRequested = 1;
}

bool serverStopRequested() {
    return stopRequested != 0;
}

bool serverLocalTime(std::time_t when, std::tm* local) {
    return localtime_r(&when, local) != nullptr;
}
