// Fakes of the window seams for native tests, fuzzers and benchmarks: they
// record what the core asked of the window instead of doing it.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct FakeWindow {
    int timerRestarts = 0;
    int timerStops = 0;
    int repaints = 0;
    std::vector<std::string> warnings;  // texts of the "Uwaga" boxes
    // Runs while a box is "open", as a real box's message loop would run
    // whatever the window receives meanwhile.
    std::function<void()> duringWarning;
    std::mutex scannerBytesLock;        // the reader thread delivers bytes
    std::vector<signed char> scannerBytes;
    bool scannerBytesToHandler = false; // also feed each byte to handleEntryChar
};

extern FakeWindow fakeWindow;

// Clears the record of the fake window.
void resetFakeWindow();
