// What the settings tool needs of the platform, one small function per
// service. Windows defines them (setup_tool_win32.cpp); the native tests
// define fakes that record what was asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A line of the tool's answer (UTF-8, no line break): standard output.
void toolSay(std::string_view line);

// A line about a problem: standard error.
void toolComplain(std::string_view line);

// Every later line goes to the file `path` too (appended). False when it
// cannot be opened.
bool toolStartLog(std::u16string_view path);

// Makes `folder` the working folder, where setup.dat lives. False when
// there is no such folder.
bool toolEnterFolder(std::u16string_view folder);

// The working folder's full path, UTF-8, for the messages.
std::string toolFolderName();

// Reads up to `capacity` bytes from the start of the file `path` (as the
// user gave it). The bytes read, or -1 when it cannot be read.
long toolReadFile(std::u16string_view path, void* buffer, size_t capacity);

// Whether a checker holds the working folder now.
bool toolCheckerRuns();

// What stopping the working folder's checker and watchdog found and did.
struct StopOutcome {
    bool checkerRan = false;
    bool watchdogRan = false;
    uint32_t processId = 0;  // the checker's, when it published one
    bool forced = false;     // it did not end when asked: ended by its process id
    bool ended = false;      // neither runs any more
};

StopOutcome toolStopChecker();

// The watchdog's side: takes the working folder for this watchdog; false
// when another one has it.
bool toolClaimWatchdog();

struct ProgramRun {
    bool started = false;
    unsigned long exitCode = 0;    // when it started and ended
    unsigned long startError = 0;  // when it did not start
    bool endRequested = false;     // the watchdog was asked to end meanwhile
};

// Starts `program` (empty: lumivo.exe beside the tool) in the working folder
// and waits until it ends or the watchdog is asked to end (the program is
// then left running).
ProgramRun toolRunProgram(std::u16string_view program);

// Waits `milliseconds`; true when the watchdog was asked to end meanwhile.
bool toolPauseOrEnd(int milliseconds);

// A clock in milliseconds that only goes forward.
uint64_t toolClockMs();
