// What the checker-server simulator needs of the network and the console:
// one UDP socket bound to a local address, datagrams in and out with the
// sender's address, and a polite stop on Ctrl+C or a termination request.
#pragma once

#include <cstdint>
#include <string>

using SimSocket = intptr_t;
inline constexpr SimSocket kNoSimSocket = -1;

// Address in network byte order, port in host byte order.
struct SimPeer {
    uint32_t address = 0;
    uint16_t port = 0;
};

// Parses a dotted IPv4 address into network byte order. 0, or -1.
int simParseAddress(const char* text, uint32_t* address);

// Opens a UDP socket bound to `address`:`port`; port 0 lets the system pick
// one. `boundPort` gets the port actually bound. kNoSimSocket with `error`
// set on failure.
SimSocket simOpenServer(uint32_t address, uint16_t port, uint16_t* boundPort, std::string& error);

// Waits at most `pollMs` for one datagram. Its full length (the buffer gets
// at most `size` bytes of it), -2 when nothing came in time, -1 on an error.
int simReceive(SimSocket socket, void* buffer, int size, SimPeer* from, unsigned pollMs);

// Sends one datagram to `to`. 0, or -1.
int simSendTo(SimSocket socket, const void* data, int length, const SimPeer& to);

void simClose(SimSocket socket);

// The text of the last network error, for the simulator's own messages.
std::string simLastErrorText();

// Ctrl+C, SIGINT and SIGTERM set a flag that simStopRequested() reports.
void simInstallStopHandlers();
bool simStopRequested();
