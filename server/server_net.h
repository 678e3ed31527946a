// What the checker server needs of the network, the clock and the console:
// one UDP socket bound to a local address, datagrams in and out with the
// sender's address, the local time, and a polite stop on Ctrl+C, a
// termination request or the service's stop control.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

using ServerSocket = intptr_t;
inline constexpr ServerSocket kNoServerSocket = -1;

// Address in network byte order, port in host byte order.
struct ServerPeer {
    uint32_t address = 0;
    uint16_t port = 0;
};

// Parses a dotted IPv4 address, four numbers and nothing else, into network
// byte order. 0, or -1. The forms some system calls also take ("10.1",
// "0x0a.0.0.1") are refused, so an address means what it says to whoever
// reads the command line.
int serverParseAddress(std::string_view text, uint32_t* address);

// "192.168.1.23": an address in network byte order as people write it.
std::string dottedAddress(uint32_t address);

// Opens a UDP socket bound to `address`:`port`; port 0 lets the system pick
// one. `boundPort` gets the port actually bound. kNoServerSocket with
// `error` set on failure.
ServerSocket serverOpenSocket(uint32_t address, uint16_t port, uint16_t* boundPort,
                              std::string& error);

// Waits at most `pollMs` for one datagram. Its full length (the buffer gets
// at most `size` bytes of it), -2 when nothing came in time, -1 on an error.
int serverReceive(ServerSocket socket, void* buffer, int size, ServerPeer* from, unsigned pollMs);

// Sends one datagram to `to`. 0, or -1.
int serverSendTo(ServerSocket socket, const void* data, int length, const ServerPeer& to);

void serverClose(ServerSocket socket);

// The text of the last network error, for the server's own messages.
std::string serverLastErrorText();

// Ctrl+C, SIGINT and SIGTERM ask for a stop, which serverStopRequested()
// reports; so does serverRequestStop(), the service's stop control.
void serverInstallStopHandlers();
void serverRequestStop();
bool serverStopRequested();

// The local time of `when`; false when the system cannot tell it. Safe on
// any thread, unlike std::localtime.
bool serverLocalTime(std::time_t when, std::tm* local);
