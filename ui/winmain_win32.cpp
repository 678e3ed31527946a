// The program's entry point: start-up in a fixed order, the message loop,
// and the shutdown that stops the scanner before the settings are saved.
#include "lookup/check_state.h"
#include "lookup/entry_seam.h"
#include "resources/resource.h"
#include "scanner/scanner.h"
#include "settings/running_checker_win32.h"
#include "settings/settings.h"
#include "settings/warning.h"
#include "ui/main_window.h"

namespace {

constexpr int kTextBufferSize = 100;

char windowTitle[kTextBufferSize];
char windowClassName[kTextBufferSize];

// Everything that reaches the thread passes the accelerators first, so
// Alt+"?" and Alt+"/" work in full-screen mode too, where the menu is out of
// sight.
WPARAM runMessageLoop(HACCEL accelerators) {
    MSG message = {};  // wParam 0 should GetMessageA fail outright
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.wParam;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    LoadStringA(instance, IDS_APP_TITLE, windowTitle, kTextBufferSize);
    LoadStringA(instance, IDC_LUMIVO, windowClassName, kTextBufferSize);
    registerMainWindowClass(instance, windowClassName);

    // One checker per working folder: a second start would fight the first
    // for the scanner and write the same setup.dat.
    switch (claimCheckerFolder()) {
        case FolderClaim::Claimed:
            break;
        case FolderClaim::RunsInThisSession:
            bringRunningCheckerToFront();
            return 0;
        case FolderClaim::RunsInAnotherSession:
            showWarning(
                "Sprawdzarka z tego folderu ju\xBF dzia\xB3"
                "a.");
            return 0;
    }

    // Before any window: this may write the default setup.dat and warn that
    // the price file is missing.
    loadSettings();

    appInstance = instance;
    mainWindow =
        CreateWindowExA(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (mainWindow == nullptr) return 0;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    publishCheckerWindow(mainWindow);
    startEndRequestWaiter(checkerEndEvent(), mainWindow);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_LUMIVO));
    // A port that cannot be opened has been reported; the keyboard still works.
    startScannerIfNamed();
    clearCheckState();
    restartIdleTimer();
    if (settings.fullScreen != 0) enterFullScreen(mainWindow);

    const WPARAM exitCode = runMessageLoop(accelerators);
    runShutdownSteps();
    return static_cast<int>(exitCode);
}
