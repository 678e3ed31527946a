// The serial seam on Win32 communications devices.
#include <process.h>
#include <windows.h>

#include <cstring>

#include "base/windows1250.h"
#include "scanner/serial_seam.h"

static_assert(sizeof(DCB) <= sizeof(SerialLine::platform));

namespace {

HANDLE toHandle(PortHandle port) {
    return reinterpret_cast<HANDLE>(port);
}

struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

unsigned __stdcall runThread(void* start) {
    const ThreadStart what = *static_cast<ThreadStart*>(start);
    HeapFree(GetProcessHeap(), 0, start);
    what.body(what.argument);
    return 0;
}

}  // namespace

// The record starts zeroed, so the mode text alone decides the line: no
// XON/XOFF and no DSR handshake, as the text names none.
int serialPrepareLine(const char* modeText, SerialLine* line) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    if (!BuildCommDCBAndTimeoutsA(modeText, &dcb, &timeouts)) return -1;
    std::memcpy(line->platform, &dcb, sizeof dcb);
    return 0;
}

PortHandle serialOpenExclusive(const char* devicePath) {
    const HANDLE port =
        CreateFileW(windows1250ToWide(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return kInvalidPort;
    return reinterpret_cast<PortHandle>(port);
}

int serialApplyLine(PortHandle port, SerialLine* line) {
    DCB dcb;
    std::memcpy(&dcb, line->platform, sizeof dcb);
    dcb.fOutxCtsFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fErrorChar = 1;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(toHandle(port), &dcb) ? 0 : -1;
}

// A one-byte read returns what is buffered at once and otherwise waits at
// most 100 ms for the first byte; a write gives up after 100 ms per byte
// plus 100 ms (nothing is ever written).
int serialSetReadTimeouts(PortHandle port) {
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kSerialReadWaitMs;
    timeouts.WriteTotalTimeoutMultiplier = 100;
    timeouts.WriteTotalTimeoutConstant = 100;
    return SetCommTimeouts(toHandle(port), &timeouts) ? 0 : -1;
}

int serialSetQueueSizes(PortHandle port, uint32_t inputBytes, uint32_t outputBytes) {
    return SetupComm(toHandle(port), inputBytes, outputBytes) ? 0 : -1;
}

// Why a read failed does not matter to the reader: it pauses and tries again
// until the port works or it is asked to stop.
//
// The port's status is read first because a line can vanish under an open
// port without a read ever failing: under Wine, once the pseudo-terminal
// behind a COM port has ended, ReadFile polls the hung-up line busily for the
// whole read time-out and then "succeeds" with no byte, so a reader that only
// read would keep a core busy. The status can no longer be read then.
SerialRead serialReadByte(PortHandle port, unsigned char* byte) {
    DWORD errors = 0;
    COMSTAT status;
    if (!ClearCommError(toHandle(port), &errors, &status)) return kSerialReadFailed;
    DWORD got = 0;
    if (!ReadFile(toHandle(port), byte, 1, &got, nullptr)) return kSerialReadFailed;
    return got == 1 ? kSerialReadByte : kSerialReadNothing;
}

void serialClose(PortHandle port) {
    CloseHandle(toHandle(port));
}

void sleepMilliseconds(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

// The C runtime's thread start, so the runtime's per-thread data is set up
// for the reader; its handle is closed at once, as nobody joins the reader.
int startDetachedThread(void (*body)(void*), void* argument) {
    auto* start = static_cast<ThreadStart*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart)));
    if (start == nullptr) return -1;
    start->body = body;
    start->argument = argument;
    const uintptr_t thread = _beginthreadex(nullptr, 0, runThread, start, 0, nullptr);
    if (thread == 0) {
        HeapFree(GetProcessHeap(), 0, start);
        return -1;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return 0;
}
