#include "tests/support/fakes.h"

#include "lookup/check_state.h"
#include "lookup/entry_seam.h"
#include "scanner/scanner_seam.h"
#include "settings/warning.h"

FakeWindow fakeWindow;

void resetFakeWindow() {
    fakeWindow.timerRestarts = 0;
    fakeWindow.timerStops = 0;
    fakeWindow.repaints = 0;
    fakeWindow.warnings.clear();
    fakeWindow.duringWarning = nullptr;
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    fakeWindow.scannerBytes.clear();
    fakeWindow.scannerBytesToHandler = false;
}

void restartIdleTimer() {
    ++fakeWindow.timerRestarts;
    idleTimer = 1;
}

void stopIdleTimer() {
    if (idleTimer != 0) ++fakeWindow.timerStops;
    idleTimer = 0;
}

void requestRepaint() { ++fakeWindow.repaints; }

void showWarning(const char* text) {
    fakeWindow.warnings.emplace_back(text);
    if (fakeWindow.duringWarning) fakeWindow.duringWarning();
}

void deliverScannerByte(signed char byte) {
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    fakeWindow.scannerBytes.push_back(byte);
    if (fakeWindow.scannerBytesToHandler) handleEntryChar(byte);
}
