// The simulator's network and stop handling on BSD sockets and signals.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "server/checker_sim_net.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int lastError = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

}  // namespace

int simParseAddress(const char* text, uint32_t* address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text, &parsed) != 1) return -1;
    *address = parsed.s_addr;
    return 0;
}

SimSocket simOpenServer(uint32_t address, uint16_t port, uint16_t* boundPort, std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return kNoSimSocket;
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
        return kNoSimSocket;
    }
    *boundPort = ntohs(local.sin_port);
    return fd;
}

int simReceive(SimSocket socket, void* buffer, int size, SimPeer* from, unsigned pollMs) {
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

int simSendTo(SimSocket socket, const void* data, int length, const SimPeer& to) {
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

void simClose(SimSocket socket) {
    if (socket != kNoSimSocket) close(static_cast<int>(socket));
}

std::string simLastErrorText() {
    return std::strerror(lastError);
}

void simInstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool simStopRequested() {
    return stopRequested != 0;
}
