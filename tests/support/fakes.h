// Fakes of the window seams for native tests, fuzzers and benchmarks: they
// record what the core asked of the window instead of doing it.
#pragma once

#include <cstddef>
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
    std::mutex scannerBytesLock;  // the reader thread delivers bytes
    std::vector<signed char> scannerBytes;
    bool scannerBytesToHandler = false;  // also feed each byte to handleEntryChar
};

extern FakeWindow fakeWindow;

// The setup.dat seam works on the real files of the working folder
// (disk_files.cpp), for fuzzers on files in memory (memory_services.cpp);
// these faults make either fail the way a held file, a full disk or a dying
// disk does.
struct FakeFiles {
    int unreadableReads = 0;    // the next this many reads give "unreadable"
    long writeFailsAfter = -1;  // >= 0: a write stops after this many bytes
    bool flushFails = false;    // the bytes are written, the flush fails
    int failingMoves = 0;       // the next this many moves of the temporary file fail
    unsigned long error = 32;   // the system's error number a failure gives
    int pausedMs = 0;           // pauses asked for before a retry, not slept
};

extern FakeFiles fakeFiles;

// True when this read of setup.dat is to fail as unreadable; counts it off.
bool takeUnreadableRead();

// True when this move of the temporary file is to fail; counts it off.
bool takeFailingMove();

// How many of `size` bytes a write gets out before it fails.
size_t writableBytes(size_t size);

// Clears the record of the fake window and the file faults.
void resetFakeWindow();
