// The checker server's network, clock and stop handling on Winsock 2.2 and
// the console.
#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <string>

#include "server/server_net.h"

namespace {

std::atomic<bool> stopRequested{false};

BOOL WINAPI onConsoleControl(DWORD) {
    stopRequested = true;
    return TRUE;
}

}  // namespace

ServerSocket serverOpenSocket(uint32_t address, uint16_t port, uint16_t* boundPort,
                              std::string& error) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        error = "socket() failed: error " + std::to_string(WSAGetLastError());
        return kNoServerSocket;
    }
    // Without this, an ICMP "port unreachable" for an earlier answer makes
    // the next recvfrom fail with WSAECONNRESET.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, _WSAIOW(IOC_VENDOR, 12), &reportReset, sizeof reportReset, nullptr, 0, &returned,
             nullptr, nullptr);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    int length = sizeof local;
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = "bind() failed: error " + std::to_string(WSAGetLastError());
        closesocket(s);
        return kNoServerSocket;
    }
    *boundPort = ntohs(local.sin_port);
    return static_cast<ServerSocket>(s);
}

int serverReceive(ServerSocket socket, void* buffer, int size, ServerPeer* from, unsigned pollMs) {
    const SOCKET s = static_cast<SOCKET>(socket);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval bound{static_cast<long>(pollMs / 1000), static_cast<long>((pollMs % 1000) * 1000)};
    const int ready = select(0, &readable, nullptr, nullptr, &bound);
    if (ready == 0) return -2;
    if (ready == SOCKET_ERROR) return -1;
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const int received = recvfrom(s, static_cast<char*>(buffer), size, 0,
                                  reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAECONNRESET) return -2;
        if (error != WSAEMSGSIZE) return -1;
    }
    from->address = peer.sin_addr.s_addr;
    from->port = ntohs(peer.sin_port);
    // Winsock does not tell how long a cut datagram was; one byte more than
    // the buffer is enough for the server to call it too long.
    return received == SOCKET_ERROR ? size + 1 : received;
}

int serverSendTo(ServerSocket socket, const void* data, int length, const ServerPeer& to) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(to.port);
    peer.sin_addr.s_addr = to.address;
    const int sent = sendto(static_cast<SOCKET>(socket), static_cast<const char*>(data), length, 0,
                            reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent == SOCKET_ERROR ? -1 : 0;
}

void serverClose(ServerSocket socket) {
    if (socket != kNoServerSocket) closesocket(static_cast<SOCKET>(socket));
}

std::string serverLastErrorText() {
    return "error " + std::to_string(WSAGetLastError());
}

void serverInstallStopHandlers() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void serverRequestStop() {
    stopRequested = true;
}

bool serverStopRequested() {
    return stopRequested;
}

bool serverLocalTime(std::time_t when, std::tm* local) {
    return localtime_s(local, &when) == 0;
}
