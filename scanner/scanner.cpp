// The barcode scanner on a serial port: opening and configuring the port, the
// reader thread that hands every received byte to the main window, and the
// two-flag handshake that stops it.
//
// Only the UI thread calls startScanner and stopScanner; the reader thread
// only reads, delivers bytes (posted, never waiting for the UI) and, when
// asked to stop, closes the port. The three fields of ScannerPort are the
// only things the two threads share.
#include "scanner/scanner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/cleanup.h"
#include "scanner/byte_delivery_seam.h"
#include "scanner/serial_seam.h"
#include "settings/warning.h"

ScannerPort scannerPort;
std::atomic<void (*)()> scannerReaderEndHook{nullptr};

namespace {

constexpr int32_t kFallbackBaud = 57600;
constexpr uint32_t kInputQueueBytes = 1020;
constexpr uint32_t kOutputQueueBytes = 1024;
constexpr int kStopPollMs = 100;
// A USB adapter that was pulled fails every read; after about a second of
// that the handle is dead for good even when the adapter comes back under
// the same name, so the reader closes it and opens the port again by name
// every second until it opens.
constexpr int kFailedReadsBeforeReopen = 1000 / kSerialReadWaitMs;
constexpr int kReopenPauseMs = 1000;
constexpr const char* kDeviceNamespacePrefix = "\\\\.\\";

bool isValidHandle(PortHandle handle) {
    return handle != kInvalidPort && handle != 0;
}

// The one message for every way the scanner can fail to start. It names the
// port as the user typed it, not the device path.
void tellPortNotOpened(const char* name) {
    std::string text = "Nie otwarto portu komunikacyjnego: ";
    text += name;
    showWarning(text.c_str());
}

void readerThreadBody(void* port) {
    scannerReadLoop(static_cast<ScannerPort*>(port));
}

}  // namespace

long scannerPortNumber(const char* name) {
    if (name == nullptr || std::strlen(name) <= 3) return 0;
    // strtol saturates on overflow, so a huge number stays above 7 and a
    // huge negative one stays below 1, whatever the width of long.
    return std::strtol(name + 3, nullptr, 10);
}

// Windows opens COM1 to COM9 by their plain names but anything else (COM10
// and up, or names not of that form) only through the device namespace. The
// plain name is kept for 1 to 7 only: shops configured as "COM8" or "COM9"
// open them through the namespace too, which works just as well.
std::string scannerDevicePath(const char* name) {
    if (name == nullptr) name = "";
    const long number = scannerPortNumber(name);
    if (number != 0 && number <= 7) return name;
    return std::string(kDeviceNamespacePrefix) + name;
}

ScannerModeText scannerModeText(int32_t baud, signed char lineFlags) {
    const unsigned long speed = static_cast<unsigned long>(baud > 0 ? baud : kFallbackBaud);
    const int dataBits = 5 + (lineFlags & 3);
    const int stopBits = (lineFlags & 4) ? 2 : 1;
    char parity = 'N';
    if (lineFlags & 8) parity = (lineFlags & 16) ? 'E' : 'O';

    ScannerModeText text{};
    std::snprintf(text.data(), text.size(), "baud=%lu data=%i parity=%c stop=%i", speed, dataBits,
                  parity, stopBits);
    return text;
}

PortHandle openScannerPort(const char* name, int32_t baud, signed char lineFlags) {
    const std::string devicePath = scannerDevicePath(name);
    const ScannerModeText modeText = scannerModeText(baud, lineFlags);

    SerialLine line{};
    if (serialPrepareLine(modeText.data(), &line) != 0) return kInvalidPort;

    // Closed on every failed step below, handed on when all succeed.
    Owned<PortHandle> port(serialOpenExclusive(devicePath.c_str()), kInvalidPort, serialClose);
    if (!port.holds()) return kInvalidPort;
    if (serialApplyLine(port.get(), &line) != 0) return kInvalidPort;
    if (serialSetReadTimeouts(port.get()) != 0) return kInvalidPort;
    if (serialSetQueueSizes(port.get(), kInputQueueBytes, kOutputQueueBytes) != 0) {
        return kInvalidPort;
    }
    return port.release();
}

int32_t startScanner(const char* name, int32_t baud, signed char lineFlags) {
    if (name == nullptr) name = "";
    stopScanner();  // one reader at a time
    const PortHandle handle = openScannerPort(name, baud, lineFlags);
    scannerPort.handle = handle;
    if (handle == kInvalidPort) tellPortNotOpened(name);

    // The reader is marked running before its thread exists: a stop that
    // comes before the thread's first step must still find a reader to end
    // and must wait for this reader's own "stopped", not the last one's.
    scannerPort.name = {};
    std::snprintf(scannerPort.name.data(), scannerPort.name.size(), "%s", name);
    scannerPort.baud = baud;
    scannerPort.lineFlags = lineFlags;
    scannerPort.stopped = 0;
    scannerPort.running = 1;
    if (startDetachedThread(readerThreadBody, &scannerPort) != 0) {
        // A port left open and unread would hold the scanner for nothing;
        // close it and tell the user as for a port that would not open.
        scannerPort.running = 0;
        if (handle == kInvalidPort) return 1;
        serialClose(handle);
        scannerPort.handle = kInvalidPort;
        tellPortNotOpened(name);
        return 1;
    }
    return handle == kInvalidPort ? 1 : 0;
}

void stopScanner() {
    if (scannerPort.running == 0) return;
    scannerPort.running = 0;
    // The reader notices within one read time-out (or one pause while it
    // waits to open the port again); it closes the port before it sets
    // "stopped", so the port can be opened again once we return.
    do {
        sleepMilliseconds(kStopPollMs);
    } while (scannerPort.stopped == 0);
    scannerPort.handle = kInvalidPort;
}

namespace {

void closeReaderPort(ScannerPort* port) {
    const PortHandle handle = port->handle.exchange(kInvalidPort);
    if (isValidHandle(handle)) serialClose(handle);
}

// Waits a second, in steps short enough to notice a stop within its poll,
// then tries to open the port by its name with the same line settings.
void reopenAfterPause(ScannerPort* port) {
    for (int waited = 0; waited < kReopenPauseMs; waited += kSerialReadWaitMs) {
        if (port->running == 0) return;
        sleepMilliseconds(kSerialReadWaitMs);
    }
    if (port->running == 0 || port->name[0] == '\0') return;
    port->handle = openScannerPort(port->name.data(), port->baud, port->lineFlags);
}

}  // namespace

// The reader's flags are set by whoever starts it (startScanner sets
// running = 1 and stopped = 0 before the thread begins). A read that fails
// is followed by a pause as long as the read time-out, so a dead port costs
// no processor time and a stop is still noticed in time; a port that keeps
// failing is closed and opened again by name (see kFailedReadsBeforeReopen).
void scannerReadLoop(ScannerPort* port) {
    int failedReads = 0;
    while (port->running != 0) {
        if (!isValidHandle(port->handle)) {
            reopenAfterPause(port);
            continue;
        }
        unsigned char byte = 0;
        const SerialRead result = serialReadByte(port->handle, &byte);
        // A byte that came in while the stop was asked for is dropped.
        if (port->running == 0) break;
        if (result == kSerialReadByte) {
            deliverScannerByte(static_cast<signed char>(byte));
        } else if (result == kSerialReadFailed) {
            sleepMilliseconds(kSerialReadWaitMs);
            if (++failedReads < kFailedReadsBeforeReopen) continue;
            closeReaderPort(port);
        }
        failedReads = 0;
    }
    closeReaderPort(port);
    // The last thing a reader does. stopScanner returns as soon as it sees
    // this, and OK in the settings may start the next reader at once, so a
    // reader that has said it stopped must touch the record no more: a late
    // "running = 0" here would end the new reader after its first read.
    port->stopped = 1;
    if (auto hook = scannerReaderEndHook.load(); hook != nullptr) hook();
}
