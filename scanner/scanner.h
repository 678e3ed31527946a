// The barcode scanner on a serial port: one reader thread that takes the
// port's input a byte at a time and hands each byte to the main window.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

using PortHandle = intptr_t;
inline constexpr PortHandle kInvalidPort = -1;

struct ScannerPort {
    std::atomic<PortHandle> handle{kInvalidPort};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> stopped{0};
    // What the reader opens the port again by when it vanishes (a pulled USB
    // adapter): written by startScanner before the reader starts, then read
    // by the reader only. An empty name: the reader never reopens.
    std::array<char, 64> name{};
    int32_t baud = 0;
    signed char lineFlags = 0;
};

extern ScannerPort scannerPort;

// Opens and configures the port; kInvalidPort on any failure, with nothing
// left open.
PortHandle openScannerPort(const char* name, int32_t baud, signed char lineFlags);

// 0 when the port is open and the reader runs; 1 when it could not be
// opened (the user has been told once) or the reader could not be started.
// A port that could not be opened is tried again every second by the reader,
// silently, so a USB adapter that comes up after the checker still works.
// A reader still running is stopped first.
int32_t startScanner(const char* name, int32_t baud, signed char lineFlags);

// Returns once the reader has closed the port and ended; at once when no
// reader runs.
void stopScanner();

// The reader thread's body.
void scannerReadLoop(ScannerPort* port);

// Run by a reader thread as its very last step, after it has set "stopped";
// null in the program. Tests hold an old reader there while the next start
// runs. One pointer load, once per reader.
extern std::atomic<void (*)()> scannerReaderEndHook;

// The rules behind openScannerPort, kept apart so they can be checked alone.

// The number a port name carries from its fourth character on (white space,
// one sign, digits); 0 without digits or for a name of three characters or
// fewer.
long scannerPortNumber(const char* name);

// The path the port is opened under: the name itself for ports 1 to 7 (and
// for negative numbers), otherwise the device-namespace form "\\.\name".
std::string scannerDevicePath(const char* name);

// The line-settings text "baud=%lu data=%i parity=%c stop=%i" for a speed
// (57600 when 0 or below) and the framing bits of lineFlags.
using ScannerModeText = std::array<char, 64>;
ScannerModeText scannerModeText(int32_t baud, signed char lineFlags);
