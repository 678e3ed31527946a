// What the entry handler, the scanner reader and the configuration dialog
// need of the main window. All of it names mainWindow, which WinMain stores
// as soon as the window exists.
#include "lookup/entry.h"
#include "lookup/entry_seam.h"
#include "scanner/byte_delivery_seam.h"
#include "scanner/scanner.h"
#include "settings/config_dialog_seam.h"
#include "settings/settings.h"
#include "ui/main_window.h"

namespace {
constexpr UINT_PTR kIdleTimerId = 1;
constexpr signed char kScannerLine8N1 = 3;  // 8 data bits, no parity, one stop bit
}  // namespace

void startScannerIfNamed() {
    if (settings.portName[0] != '\0') {
        startScanner(settings.portName, settings.baudRate, kScannerLine8N1);
    }
}

void restartScanner() {
    stopScanner();
    startScannerIfNamed();
}

bool lookupInProgress() {
    return entryHandlerBusy();
}

// SetTimer on the id of a running timer restarts it with the full time, so
// one call does what stopping and starting would do in two. Every scanned
// digit comes here, and under Wine each timer call waits for wineserver.
void restartIdleTimer() {
    idleTimer = SetTimer(mainWindow, kIdleTimerId, kIdleTimeoutMs, nullptr);
}

void stopIdleTimer() {
    if (idleTimer != 0) KillTimer(mainWindow, idleTimer);
    idleTimer = 0;
}

// No erasing: the price screen paints every pixel of the client area, and an
// erase first would make the screen flicker with every scanned digit.
void requestRepaint() {
    InvalidateRect(mainWindow, nullptr, FALSE);
}

// Runs on the reader thread. Posting, never sending: the reader must not
// wait for the window's thread, which may itself be waiting in stopScanner.
// A thread's message queue holds a limited number of posted messages; when
// it is full the byte is offered again a little later, while the port keeps
// the bytes behind it. A stop ends the retrying, since the window's thread
// then waits for the reader and empties nothing.
void deliverScannerByte(signed char byte) {
    constexpr DWORD kQueueFullRetryMs = 10;
    while (!PostMessageA(mainWindow, WM_SCANNER_BYTE, static_cast<unsigned char>(byte), 0)) {
        if (GetLastError() != ERROR_NOT_ENOUGH_QUOTA || scannerPort.running == 0) return;
        Sleep(kQueueFullRetryMs);
    }
}
