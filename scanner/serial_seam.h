// What the scanner needs of the operating system's serial ports, threads and
// clock. Defined once per platform: serial_win32.cpp (communications devices)
// and serial_posix.cpp (terminals, so the real reader runs against a
// pseudo-terminal in native tests).
#pragma once

#include <cstdint>

#include "scanner/scanner.h"

// Line settings prepared from a mode text before the device is opened, so a
// text the system rejects leaves nothing open. The bytes hold the platform's
// own line record (a DCB on Windows).
struct SerialLine {
    alignas(8) unsigned char platform[64];
};

// Fills `line` from a mode text "baud=... data=... parity=... stop=...".
// 0 when the system accepts it.
int serialPrepareLine(const char* modeText, SerialLine* line);

// Opens the device at `devicePath` for reading and writing, for nobody else
// while it is open. kInvalidPort when it is missing or held.
PortHandle serialOpenExclusive(const char* devicePath);

// Applies the prepared line settings with DTR and RTS raised, output held
// while CTS is low, parity errors replaced, no other handshake. 0 on success.
int serialApplyLine(PortHandle port, SerialLine* line);

// Makes a one-byte read return at once with a waiting byte, or wait up to
// kSerialReadWaitMs for one. 0 on success.
int serialSetReadTimeouts(PortHandle port);

// Sets the sizes of the input and output queues. 0 on success.
int serialSetQueueSizes(PortHandle port, uint32_t inputBytes, uint32_t outputBytes);

inline constexpr int kSerialReadWaitMs = 100;

enum SerialRead : int {
    kSerialReadFailed = -1,  // the port refused the read (unplugged, closed, broken)
    kSerialReadNothing = 0,  // nothing arrived within kSerialReadWaitMs
    kSerialReadByte = 1,     // *byte holds the byte
};

// Reads one byte from the port as it came off the line.
SerialRead serialReadByte(PortHandle port, unsigned char* byte);

void serialClose(PortHandle port);

void sleepMilliseconds(int milliseconds);

// Runs body(argument) on a new thread that nobody joins. 0 when it started.
int startDetachedThread(void (*body)(void*), void* argument);
