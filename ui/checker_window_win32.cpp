// The main window: its class, its message handling, full-screen mode and the
// About box. WinMain (ui/winmain_win32.cpp) only strings these together, so
// the window can be built and driven by the Windows tests as it is.
#include <utility>

#include "lookup/entry.h"
#include "lookup/entry_seam.h"
#include "resources/resource.h"
#include "scanner/scanner.h"
#include "settings/config_dialog.h"
#include "settings/running_checker_win32.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/price_screen.h"

HINSTANCE appInstance = nullptr;
HWND mainWindow = nullptr;

namespace {

constexpr unsigned char kEscape = 27;

constexpr UINT_PTR kEndRetryTimerId = 2;  // the idle timer is 1
constexpr UINT kEndRetryMs = 250;

// Set by enterFullScreen: from then on that window covers the screen,
// whatever size the screen takes.
HWND fullScreenWindow = nullptr;

// Escape and the "Konfiguracja" command both open the settings; the dialog's
// "Zakończ" ends the program through the ordinary shutdown. A changed font
// or show flag reaches the screen with the next repaint the shop triggers.
void onConfigure(HWND window) {
    if (showConfigDialog(window) == IDC_ZAKONCZ) DestroyWindow(window);
}

void onAbout(HWND window) {
    // The wide API shows the template's Polish letters on any Windows.
    DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, aboutDialogProc, 0);
}

// Full screen is remembered at once, so a checker that is switched off and
// on again comes back covering the screen.
void onFullScreen(HWND window) {
    enterFullScreen(window);
    settings.fullScreen = 1;
    saveFullScreenSetting();
}

// A lookup that waits in an "Uwaga" box is one step for everyone else. Its
// box disables the window, but a command or close can still arrive posted
// (or from the dialog's loop): the settings, full screen and the ways out
// wait until the lookup has ended and are dropped meanwhile.
bool commandWaitsForLookup(WORD command) {
    return entryHandlerBusy() &&
           (command == IDM_EXIT || command == IDM_FULLSCREEN || command == IDM_CONFIG);
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    if (commandWaitsForLookup(LOWORD(wParam))) return 0;
    switch (LOWORD(wParam)) {
        case IDM_ABOUT:
            onAbout(window);
            return 0;
        case IDM_EXIT:
            DestroyWindow(window);
            return 0;
        case IDM_FULLSCREEN:
            onFullScreen(window);
            return 0;
        case IDM_CONFIG:
            onConfigure(window);
            return 0;
        default:
            return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

// Lets the window grow past the screen: the full-screen rectangle is larger
// than the screen by the caption, the menu bar and the borders. Only the
// tracking size is raised: a maximised window takes the maximised size, and
// one far larger than the screen would put every centred text off it.
LRESULT onGetMinMaxInfo(HWND window, WPARAM wParam, LPARAM lParam) {
    DefWindowProcA(window, WM_GETMINMAXINFO, wParam, lParam);
    auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    limits->ptMaxTrackSize = {kUnlimitedWindowSize, kUnlimitedWindowSize};
    return 1;
}

// A typed character. Escape belongs to the window (it opens the settings);
// every other byte goes to the code being entered. The scanner's bytes come
// through WM_SCANNER_BYTE instead, so a 27 from the scanner opens nothing.
void onChar(HWND window, WPARAM wParam) {
    const auto byte = static_cast<unsigned char>(wParam & 0xFF);
    if (byte == kEscape) {
        onConfigure(window);
        return;
    }
    feedEntryChar(static_cast<signed char>(byte));
}

// Asked to end from outside, as "Koniec" ends the program. A lookup is one
// step: its end is waited for. An open dialog (the settings, the About box)
// is closed first, and the request comes back once its loop has ended.
void onEndRequest(HWND window) {
    if (entryHandlerBusy()) {
        SetTimer(window, kEndRetryTimerId, kEndRetryMs, nullptr);
        return;
    }
    HWND popup = GetLastActivePopup(window);
    if (popup != window && IsWindow(popup)) {
        EndDialog(popup, IDCANCEL);
        PostMessageA(window, WM_END_REQUEST, 0, 0);
        return;
    }
    DestroyWindow(window);
}

DWORD WINAPI waitForEndRequests(void* context) {
    const auto* wait = static_cast<const std::pair<HANDLE, HWND>*>(context);
    while (WaitForSingleObject(wait->first, INFINITE) == WAIT_OBJECT_0) {
        PostMessageA(wait->second, WM_END_REQUEST, 0, 0);
    }
    return 0;
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            paintPriceScreen(window);
            return 0;
        case WM_GETMINMAXINFO:
            return onGetMinMaxInfo(window, wParam, lParam);
        case WM_CHAR:
            onChar(window, wParam);
            return 0;
        case WM_COMMAND:
            return onCommand(window, wParam, lParam);
        case WM_CLOSE:
            // The close box and Alt+F4; see commandWaitsForLookup.
            if (entryHandlerBusy()) return 0;
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_TIMER:
            if (wParam == kEndRetryTimerId) {
                KillTimer(window, kEndRetryTimerId);
                onEndRequest(window);
                return 0;
            }
            // The idle timer. While a lookup waits in a message box the
            // timer keeps running and fires again.
            if (!entryHandlerBusy()) expireIdleTimer();
            return 0;
        case WM_END_REQUEST:
            onEndRequest(window);
            return 0;
        case WM_SCANNER_BYTE:
            feedEntryChar(static_cast<signed char>(wParam & 0xFF));
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // Windows ends the process when this returns, without the steps
            // after the message loop; so they run here, also while a
            // lookup's box is up, the one way out that does not wait for it.
            if (wParam) runShutdownSteps();
            return 0;
        case WM_DISPLAYCHANGE:
            // A monitor switched on after the PC, or a new resolution: a
            // full-screen checker must cover the new screen, not the old.
            if (window == fullScreenWindow) enterFullScreen(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void enterFullScreen(HWND window) {
    fullScreenWindow = window;
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&area, style, TRUE, exStyle);
    SetWindowPos(window, HWND_TOPMOST, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, 0);
}

void startEndRequestWaiter(HANDLE event, HWND window) {
    if (event == nullptr) return;
    static std::pair<HANDLE, HWND> wait;  // read by the waiter for the whole run
    wait = {event, window};
    HANDLE thread = CreateThread(nullptr, 0, waitForEndRequests, &wait, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void runShutdownSteps() {
    static bool done = false;
    if (done) return;
    done = true;
    // The reader must have closed the port before the settings go to disk.
    stopScanner();
    saveSettings();
    stopIdleTimer();
    withdrawRunningChecker();
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

ATOM registerMainWindowClass(HINSTANCE instance, const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LUMIVO));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_LUMIVO);
    windowClass.lpszClassName = className;
    // The small icon is drawn at 16 pixels; LoadIconA would stretch it to the
    // large size first and shrink it back.
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    return RegisterClassExA(&windowClass);
}
