// The named objects of a folder's running checker on Windows (see
// running_checker.h): the checker's own side, and the look from outside that
// the installer's tool uses.
#pragma once

#include <windows.h>

#include <string>

#include "settings/running_checker.h"

enum class FolderClaim {
    Claimed,              // this process is the folder's checker now
    RunsInThisSession,    // another checker has the folder, on this desktop
    RunsInAnotherSession  // another checker has it, for another user or session
};

// Takes the working folder for this process: its mutex (held until the
// process ends), its end event, and lumivo.run with the process id.
FolderClaim claimCheckerFolder();

// The event that asks this checker to end; null when it could not be made.
HANDLE checkerEndEvent();

// Publishes the main window in lumivo.run once it exists.
void publishCheckerWindow(HWND window);

// Removes lumivo.run at the end of the run.
void withdrawRunningChecker();

// A second start on the same desktop brings the folder's checker to the
// front: restored from the taskbar and activated.
void bringRunningCheckerToFront();

// The folder's full long path, upper-cased, as the names are made from it.
std::u16string checkerFolderKeyPath(const wchar_t* folder);

// Whether a checker holds the folder's mutex.
bool checkerRunsInFolder(const wchar_t* folder);

// What the folder's checker published; false when nothing could be read.
bool readRunningChecker(const wchar_t* folder, RunningChecker* checker);

// Asks the folder's checker to end as "Koniec" does; false when it has no
// end event (none runs, or it is too old to have one).
bool askCheckerToEnd(const wchar_t* folder);

// The kiosk's watchdog (the settings tool's run mode). claimWatchdog takes
// the folder for this process: its mutex, held until the process ends, and
// its end event, which it returns; null when another watchdog has the
// folder.
HANDLE claimWatchdog(const wchar_t* folder);

// Asks the folder's watchdog to end; false when none runs.
bool askWatchdogToEnd(const wchar_t* folder);

// Waits at most `milliseconds` for the folder's watchdog to end; true once
// none runs.
bool waitForWatchdogToEnd(const wchar_t* folder, DWORD milliseconds);
