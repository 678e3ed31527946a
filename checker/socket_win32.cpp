// The network seam on Winsock 2.2. Every exchange starts and ends its own
// network use; Winsock counts the starts, so the local-address lookup of the
// settings may use the network at the same time.
#include <winsock2.h>

#include <cstring>

#include "checker/socket_seam.h"

int netResolveHost(const char* name, uint32_t* address) {
    const hostent* host = gethostbyname(name);
    if (host == nullptr) return -1;
    if (host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list[0] == nullptr) {
        WSASetLastError(WSANO_DATA);
        return -1;
    }
    uint32_t first;
    std::memcpy(&first, host->h_addr_list[0], sizeof first);
    *address = first;
    return 0;
}

int netParseDotted(const char* text, uint32_t* address) {
    // Older Windows turns an empty text into 0.0.0.0; an empty address is no
    // address in any version.
    const unsigned long parsed = text[0] == '\0' ? INADDR_NONE : inet_addr(text);
    if (parsed == INADDR_NONE) {
        WSASetLastError(WSAEINVAL);
        return -1;
    }
    *address = static_cast<uint32_t>(parsed);
    return 0;
}

NetSocket netOpenUdp() {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<NetSocket>(s);
}

int netConnect(NetSocket socket, uint32_t address, uint16_t port) {
    if (socket == kNoSocket) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    const int result =
        connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return result == 0 ? 0 : -1;
}

int netSend(NetSocket socket, const void* data, int length) {
    const int sent = send(static_cast<SOCKET>(socket), static_cast<const char*>(data), length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int netReceive(NetSocket socket, void* buffer, int size, unsigned timeoutMs) {
    const SOCKET s = static_cast<SOCKET>(socket);
    const DWORD bound = timeoutMs;  // Winsock takes the receive time-out in milliseconds
    if (setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&bound),
                   sizeof bound) != 0) {
        return -1;
    }
    const int received = recv(s, static_cast<char*>(buffer), size, 0);
    if (received != SOCKET_ERROR) return received;
    // Winsock fills the buffer with the head of a longer datagram and then
    // reports it as an error; the head is all the exchange reads anyway.
    if (WSAGetLastError() == WSAEMSGSIZE) return size;
    return -1;
}

void netClose(NetSocket socket) {
    if (socket != kNoSocket) closesocket(static_cast<SOCKET>(socket));
}

int netLastError() {
    return WSAGetLastError();
}
