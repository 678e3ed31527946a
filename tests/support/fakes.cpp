// The window seams recorded instead of done, and the faults that both
// stand-ins of setup.dat's files (on disk and in memory) obey.
#include "tests/support/fakes.h"

#include <algorithm>

#include "lookup/entry.h"
#include "lookup/entry_seam.h"
#include "scanner/byte_delivery_seam.h"
#include "settings/warning.h"

FakeWindow fakeWindow;
FakeFiles fakeFiles;

void resetFakeWindow() {
    fakeFiles = FakeFiles{};
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

void requestRepaint() {
    ++fakeWindow.repaints;
}

void showWarning(const char* text) {
    fakeWindow.warnings.emplace_back(text);
    if (fakeWindow.duringWarning) fakeWindow.duringWarning();
}

void deliverScannerByte(signed char byte) {
    std::lock_guard<std::mutex> guard(fakeWindow.scannerBytesLock);
    fakeWindow.scannerBytes.push_back(byte);
    if (fakeWindow.scannerBytesToHandler) handleEntryChar(byte);
}

bool takeUnreadableRead() {
    if (fakeFiles.unreadableReads <= 0) return false;
    --fakeFiles.unreadableReads;
    return true;
}

bool takeFailingMove() {
    if (fakeFiles.failingMoves <= 0) return false;
    --fakeFiles.failingMoves;
    return true;
}

size_t writableBytes(size_t size) {
    if (fakeFiles.writeFailsAfter < 0) return size;
    return std::min(size, static_cast<size_t>(fakeFiles.writeFailsAfter));
}
