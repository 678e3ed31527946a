// One checker per working folder. A second lumivo.exe started in the same
// folder (the Start-menu shortcut, a technician's logon, a double click)
// would fight the first for the scanner's port and write the same setup.dat,
// so a running checker marks its folder with named objects that any program
// of the PC can find, from any session:
//
//   Global\lumivo-checker-KEY  a mutex the running checker holds
//   Global\lumivo-end-KEY      an event that asks it to end as "Koniec" does
//   lumivo.run                 a file beside setup.dat: "pid=N", "window=0xH"
//                              and "session=N" lines, its process id, main
//                              window and Windows session
//
// and for the kiosk's watchdog (the settings tool's run mode), which starts
// the folder's checker and starts it again after a crash:
//
//   Global\lumivo-watchdog-KEY      a mutex the running watchdog holds
//   Global\lumivo-watchdog-end-KEY  an event that asks it to end, leaving
//                                   the checker to its own end event
//
// KEY is 16 hexadecimal digits of the folder's full long path, upper-cased
// (CharUpperBuffW) and without a trailing "\", hashed (64-bit FNV-1a over
// its UTF-16 units, low byte first): a kernel object's name cannot hold "\".
// The installer and the settings tool find a folder's checker the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kRunningCheckerFileName = "lumivo.run";

struct RunningCheckerNames {
    std::u16string mutex;
    std::u16string endEvent;
    std::u16string watchdogMutex;
    std::u16string watchdogEndEvent;
};

// The names for a folder's full long path, already upper-cased.
RunningCheckerNames runningCheckerNames(std::u16string_view folder);

// What a running checker publishes in lumivo.run.
struct RunningChecker {
    uint32_t processId = 0;
    uint64_t window = 0;  // its main window's handle; 0 while it is starting
    uint32_t session = 0;
};

std::string formatRunningChecker(const RunningChecker& checker);

// False when the text names no process.
bool parseRunningChecker(std::string_view text, RunningChecker* checker);
