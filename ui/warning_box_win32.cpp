// The "Uwaga" box that the settings, the scanner and the checker exchange
// declare (settings/warning.h): modal, without an owner, so it shows even
// before the main window exists (a missing price file is reported during
// start-up).
//
// A checker in full-screen mode is a topmost window: an ordinary box would
// open beneath it and the program would wait for a box nobody can see, so
// the box is topmost too and takes the keyboard.
//
// MB_SYSTEMMODAL is what makes the box topmost under Wine, which ignores
// MB_TOPMOST; without an owner it disables nothing on Windows either.
//
// While the box is up every window of the thread is disabled, so neither the
// menu, the close box nor the dialog's buttons can run beneath a lookup that
// waits here. MB_TASKMODAL would do that, but Wine then drops the topmost
// style, so the windows are disabled here and enabled again after.
//
// When the box goes, Windows activates the next enabled window, which is
// another program's while ours are still disabled; enabling ours does not
// take the activation back, and typed codes and keyboard-wedge scanners
// would then type into that program. So the window of ours that was in
// front before the box is brought to the front again.
#include <windows.h>

#include <vector>

#include "base/windows1250.h"
#include "settings/warning.h"

namespace {

struct DisabledWindows {
    std::vector<HWND> windows;

    DisabledWindows() {
        EnumThreadWindows(GetCurrentThreadId(), disableOne, reinterpret_cast<LPARAM>(this));
    }
    ~DisabledWindows() {
        for (HWND window : windows) EnableWindow(window, TRUE);
    }
    DisabledWindows(const DisabledWindows&) = delete;
    DisabledWindows& operator=(const DisabledWindows&) = delete;

    static BOOL CALLBACK disableOne(HWND window, LPARAM context) {
        if (IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            reinterpret_cast<DisabledWindows*>(context)->windows.push_back(window);
        }
        return TRUE;
    }
};

bool isOurWindow(HWND window) {
    DWORD process = 0;
    return window != nullptr && GetWindowThreadProcessId(window, &process) != 0 &&
           process == GetCurrentProcessId();
}

// The text is Windows-1250; MessageBoxA would read it in the PC's own code
// page ("Nie mo¿na" on an English Windows), so it is converted here.
void showBox(const char* text) {
    DisabledWindows whileTheBoxIsUp;
    MessageBoxW(nullptr, windows1250ToWide(text).c_str(), L"Uwaga",
                MB_OK | MB_SYSTEMMODAL | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace

void showWarning(const char* text) {
    HWND front = GetForegroundWindow();
    if (!isOurWindow(front)) front = nullptr;
    showBox(text);  // our windows are enabled again when this returns
    if (front != nullptr && IsWindow(front)) SetForegroundWindow(front);
}
