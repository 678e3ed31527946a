// What the checker exchange needs of the network, one small function per
// service. Windows (Winsock 2.2) and the native build (BSD sockets) each
// define them once; the platform's own error values stop here and the
// exchange sees only these results and netLastError().
#pragma once

#include <cstdint>

// A socket handle wide enough for both platforms; kNoSocket when none.
using NetSocket = intptr_t;
inline constexpr NetSocket kNoSocket = -1;

// Resolves a host name to its first IPv4 address, in network byte order.
// 0 on success; -1 when the name has no IPv4 address.
int netResolveHost(const char* name, uint32_t* address);

// Parses a dotted IPv4 address (a.b.c.d and the shorter forms the platform
// accepts) into network byte order. -1 for a text that is no address; the
// all-ones address 255.255.255.255 is refused too, since it cannot be told
// apart from the platform's "no address" and would only ever broadcast.
int netParseDotted(const char* text, uint32_t* address);

// One UDP socket, or kNoSocket.
NetSocket netOpenUdp();

// Fixes the peer: datagrams go only to `address`:`port` and only datagrams
// from there are received. 0 or -1.
int netConnect(NetSocket socket, uint32_t address, uint16_t port);

// Sends one datagram. The bytes sent, or -1.
int netSend(NetSocket socket, const void* data, int length);

// Waits at most `timeoutMs` for one datagram and puts it into `buffer`.
// Returns its length; a datagram longer than `size` is cut and gives
// `size`; 0 for an empty datagram; -1 for an error, the time-out included.
int netReceive(NetSocket socket, void* buffer, int size, unsigned timeoutMs);

// Releases the socket; kNoSocket is ignored.
void netClose(NetSocket socket);

// The error number of the network call that failed last in this thread.
int netLastError();
