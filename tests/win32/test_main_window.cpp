// The main window as Windows sees it: the resources the program is built
// with, and the real window class and procedure driven by messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "checker/checker.h"
#include "lookup/entry.h"
#include "lookup/entry_seam.h"
#include "lumivo_version.h"
#include "resource.h"
#include "scanner/byte_delivery_seam.h"
#include "settings/running_checker_win32.h"
#include "settings/settings.h"
#include "settings/warning.h"
#include "ui/main_window.h"

namespace {

HINSTANCE program() {
    return GetModuleHandleA(nullptr);
}

std::string menuText(HMENU menu, UINT position) {
    char text[100] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST(Resources, StringTableHoldsTitleAndClassName) {
    char text[100] = {};
    ASSERT_GT(LoadStringA(program(), IDS_APP_TITLE, text, sizeof text), 0);
    EXPECT_STREQ(text, "lumivo");
    ASSERT_GT(LoadStringA(program(), IDC_LUMIVO, text, sizeof text), 0);
    EXPECT_STREQ(text, "LUMIVO");
}

TEST(Resources, MenuBarHasTwoPopupsAndTwoDirectItems) {
    HMENU bar = LoadMenuA(program(), MAKEINTRESOURCEA(IDC_LUMIVO));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 4);

    HMENU settingsMenu = GetSubMenu(bar, 0);
    ASSERT_NE(settingsMenu, nullptr);
    EXPECT_EQ(menuText(bar, 0), "&Ustawienia");
    ASSERT_EQ(GetMenuItemCount(settingsMenu), 2);
    EXPECT_EQ(GetMenuItemID(settingsMenu, 0), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(menuText(settingsMenu, 0), "Koniec");
    EXPECT_EQ(GetMenuItemID(settingsMenu, 1), static_cast<UINT>(IDM_CONFIG));
    EXPECT_EQ(menuText(settingsMenu, 1), "&Konfiguracja");

    HMENU helpMenu = GetSubMenu(bar, 1);
    ASSERT_NE(helpMenu, nullptr);
    EXPECT_EQ(menuText(bar, 1), "&Pomoc");
    ASSERT_EQ(GetMenuItemCount(helpMenu), 1);
    EXPECT_EQ(GetMenuItemID(helpMenu, 0), static_cast<UINT>(IDM_ABOUT));
    EXPECT_EQ(menuText(helpMenu, 0), "&O programie ...");

    EXPECT_EQ(GetSubMenu(bar, 2), nullptr);
    EXPECT_EQ(GetMenuItemID(bar, 2), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(menuText(bar, 2), "&Koniec");
    EXPECT_EQ(GetSubMenu(bar, 3), nullptr);
    EXPECT_EQ(GetMenuItemID(bar, 3), static_cast<UINT>(IDM_FULLSCREEN));
    EXPECT_EQ(menuText(bar, 3), "&Max ekran");
    DestroyMenu(bar);
}

// Character entries with Alt, not virtual keys: a virtual-key entry would take
// 63 and 47 as key codes, which no key of a Polish keyboard sends as "?" or "/".
TEST(Resources, AcceleratorsAreAltCharacterEntriesForAbout) {
    HACCEL table = LoadAcceleratorsA(program(), MAKEINTRESOURCEA(IDC_LUMIVO));
    ASSERT_NE(table, nullptr);
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableA(table, entries, 4), 2);
    constexpr BYTE kModifiers = FVIRTKEY | FSHIFT | FCONTROL | FALT;
    EXPECT_EQ(entries[0].key, '?');
    EXPECT_EQ(entries[1].key, '/');
    for (const ACCEL& entry : entries) {
        if (entry.cmd == 0) break;
        EXPECT_EQ(entry.fVirt & kModifiers, FALT) << "key " << entry.key;
        EXPECT_EQ(entry.cmd, IDM_ABOUT);
    }
}

TEST(Resources, IconsComeInTheSizesTheClassAsksFor) {
    for (int id : {IDI_LUMIVO, IDI_SMALL}) {
        HICON icon =
            static_cast<HICON>(LoadImageA(program(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr) << "icon " << id;
        if (icon) DestroyIcon(icon);
    }
    HRSRC large = FindResourceA(program(), MAKEINTRESOURCEA(IDI_LUMIVO), RT_GROUP_ICON);
    ASSERT_NE(large, nullptr);
    // The group directory: reserved, type, count, then 14-byte entries.
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(program(), large)));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group[4], 2);
    EXPECT_EQ(group[6], 32);       // width of the first image
    EXPECT_EQ(group[6 + 14], 16);  // width of the second
    EXPECT_EQ(group[6 + 2], 16);   // colours
}

// DPI-aware with Windows 10 among the systems it knows, so a display scaled
// to 125 % or 150 % gets sharp letters instead of a stretched bitmap.
TEST(Resources, ManifestDeclaresTheProgramDpiAware) {
    HRSRC found = FindResourceA(program(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(program(), found)));
    const std::string manifest(bytes, SizeofResource(program(), found));
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">system</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"" LUMIVO_FILE_VERSION_TEXT "\""), std::string::npos);
}

// The real class and procedure, on a window that is never shown, so that no
// painting gets in the way.
class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerMainWindowClass(program(), kClassName); }

    void SetUp() override {
        appInstance = program();
        mainWindow = CreateWindowExA(0, kClassName, "lumivo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                     CW_USEDEFAULT, 0, nullptr, nullptr, program(), nullptr);
        ASSERT_NE(mainWindow, nullptr);
        clearCheckState();
        entryPos = 0;
    }

    void TearDown() override {
        stopIdleTimer();
        if (IsWindow(mainWindow)) DestroyWindow(mainWindow);
        mainWindow = nullptr;
        pumpMessages();  // takes the quit message that WM_DESTROY posts
    }

    // Runs the queue dry; true when a quit message came with it.
    static bool pumpMessages(WPARAM* quitCode = nullptr) {
        bool quit = false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                if (quitCode) *quitCode = message.wParam;
                continue;
            }
            DispatchMessageA(&message);
        }
        return quit;
    }

    static constexpr const char* kClassName = "LUMIVO_TEST";
};

TEST_F(MainWindowTest, FullScreenMakesTheClientAreaTheWholeScreen) {
    enterFullScreen(mainWindow);
    RECT client = {};
    GetClientRect(mainWindow, &client);
    POINT origin = {0, 0};
    ClientToScreen(mainWindow, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(client.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(GetWindowLongA(mainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(mainWindow, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
}

// The window may be dragged or set larger than the screen (full screen needs
// it), but a maximised window keeps the size and place the system gives it.
TEST_F(MainWindowTest, WindowMayGrowPastTheScreenButMaximisesToIt) {
    // The system fills in its limits before it asks; those not raised stay.
    MINMAXINFO limits = {};
    limits.ptMinTrackSize = {112, 27};
    limits.ptMaxSize = {1032, 776};
    limits.ptMaxPosition = {-4, -4};
    EXPECT_EQ(SendMessageA(mainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits)), 1);
    EXPECT_EQ(limits.ptMaxTrackSize.x, 0x7FFFF);
    EXPECT_EQ(limits.ptMaxTrackSize.y, 0x7FFFF);
    EXPECT_EQ(limits.ptMinTrackSize.x, 112);
    EXPECT_EQ(limits.ptMinTrackSize.y, 27);
    EXPECT_EQ(limits.ptMaxSize.x, 1032);
    EXPECT_EQ(limits.ptMaxSize.y, 776);
    EXPECT_EQ(limits.ptMaxPosition.x, -4);
    EXPECT_EQ(limits.ptMaxPosition.y, -4);

    ShowWindow(mainWindow, SW_MAXIMIZE);
    RECT client = {};
    GetClientRect(mainWindow, &client);
    EXPECT_LE(client.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(client.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_GT(client.right, GetSystemMetrics(SM_CXSCREEN) / 2);
}

// Typed characters and scanner bytes reach the code on the window's thread,
// and each restarts the idle timer on the main window. A 27 from the scanner
// is part of a code; only a typed Escape opens the settings.
TEST_F(MainWindowTest, TypedAndScannedBytesBuildTheCode) {
    SendMessageA(mainWindow, WM_CHAR, '5', 0);
    EXPECT_NE(idleTimer, 0u);
    deliverScannerByte('9');
    deliverScannerByte(27);
    deliverScannerByte(static_cast<signed char>(0xB3));
    EXPECT_STREQ(checkState.code, "5");  // posted, not yet handled
    pumpMessages();
    EXPECT_STREQ(checkState.code, "59\x1B\xB3");
    EXPECT_EQ(entryPos, 4);
}

TEST_F(MainWindowTest, IdleTimerExpiryClearsTheScreenAndTheEntry) {
    for (char ch : std::string("12345")) SendMessageA(mainWindow, WM_CHAR, ch, 0);
    checkState.total = 125000;
    ASSERT_NE(idleTimer, 0u);

    SendMessageA(mainWindow, WM_TIMER, idleTimer, 0);
    EXPECT_EQ(checkState.total, 0);
    EXPECT_STREQ(checkState.code, "");
    EXPECT_EQ(entryPos, 0);
    EXPECT_EQ(idleTimer, 0u);
    // The timer is really gone: killing it again fails.
    EXPECT_FALSE(KillTimer(mainWindow, 1));
}

// A monitor switched on after the PC, or a new resolution: a full-screen
// window takes the rectangle of the screen as it is now; an ordinary window
// keeps its place.
TEST_F(MainWindowTest, DisplayChangeKeepsAFullScreenWindowOnTheScreen) {
    SetWindowPos(mainWindow, nullptr, 10, 10, 300, 200, SWP_NOZORDER);
    SendMessageA(mainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(640, 480));
    RECT window = {};
    GetWindowRect(mainWindow, &window);
    EXPECT_EQ(window.left, 10);
    EXPECT_EQ(window.right - window.left, 300);

    enterFullScreen(mainWindow);
    SetWindowPos(mainWindow, nullptr, 0, 0, 640, 480, SWP_NOZORDER);  // the old screen's size
    SendMessageA(mainWindow, WM_DISPLAYCHANGE, 32,
                 MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    RECT client = {};
    GetClientRect(mainWindow, &client);
    POINT origin = {0, 0};
    ClientToScreen(mainWindow, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(client.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(MainWindowTest, EndCommandDestroysTheWindowAndQuitsWithZero) {
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_FALSE(IsWindow(mainWindow));
    WPARAM quitCode = 99;
    EXPECT_TRUE(pumpMessages(&quitCode));
    EXPECT_EQ(quitCode, 0u);
}

// An empty working folder of its own for the test's setup.dat; the settings
// in memory are put back afterwards.
struct WorkFolder {
    char previous[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    Settings before = settings;

    explicit WorkFolder(const char* name) {
        GetCurrentDirectoryA(MAX_PATH, previous);
        GetTempPathA(MAX_PATH, folder);
        std::strcat(folder, name);
        CreateDirectoryA(folder, nullptr);
        SetCurrentDirectoryA(folder);
    }
    ~WorkFolder() {
        settings = before;
        DeleteFileA(kSettingsFileName);
        SetCurrentDirectoryA(previous);
        RemoveDirectoryA(folder);
    }
    static bool holdsSetupDat() {
        return GetFileAttributesA(kSettingsFileName) != INVALID_FILE_ATTRIBUTES;
    }
};

// Full screen is remembered in setup.dat at once.
TEST_F(MainWindowTest, FullScreenCommandSavesTheSetting) {
    WorkFolder work("lumivo-fullscreen-test");
    settings.fullScreen = 0;

    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_FULLSCREEN, 0), 0);
    Settings saved = {};
    FILE* file = std::fopen(kSettingsFileName, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fread(&saved, 1, sizeof saved, file), sizeof saved);
    std::fclose(file);
    EXPECT_EQ(settings.fullScreen, 1);
    EXPECT_EQ(saved.fullScreen, 1);
}

// While a lookup's "Uwaga" box is up, `whileBoxUp` runs from a timer inside
// the box's loop; the box is then closed with OK.
std::function<void(HWND box)> whileBoxUp;
bool boxWasSeen = false;

void CALLBACK actWhileBoxUp(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = FindWindowA(MAKEINTATOM(32770), "Uwaga");
    if (box == nullptr || !IsWindowVisible(box)) return;
    KillTimer(nullptr, timer);
    boxWasSeen = true;
    auto action = std::move(whileBoxUp);
    whileBoxUp = nullptr;
    if (action) action(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

// A dialog that must not open: closed at once and counted.
int configDialogsOpened = 0;
void CALLBACK closeConfigDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowA(MAKEINTATOM(32770), "Konfiguracja");
    if (dialog == nullptr || !IsWindowVisible(dialog)) return;
    ++configDialogsOpened;
    EndDialog(dialog, IDCANCEL);
}

// Server mode with an address refused before any datagram goes out: every
// Enter shows its "Uwaga" box at once.
void lookupsShowABox() {
    std::memset(&settings, 0, sizeof settings);
    std::strcpy(settings.serverAddress, "3server");
    std::strcpy(settings.fontName, "Arial CE");
}

// The box stands above a full-screen window and holds the whole thread: the
// window is disabled, and commands that still arrive (posted, or from another
// loop) cannot end the program, enter full screen or open the settings
// beneath the lookup.
TEST_F(MainWindowTest, ALookupsBoxStaysOnTopAndHoldsBackTheWaysOut) {
    WorkFolder work("lumivo-box-test");
    lookupsShowABox();
    bool enabledDuringBox = true, topmostBox = false, survived = false;
    LONG mainExStyle = 0;
    configDialogsOpened = 0;
    whileBoxUp = [&](HWND box) {
        enabledDuringBox = IsWindowEnabled(mainWindow);
        topmostBox = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        const UINT_PTR guard = SetTimer(nullptr, 0, 20, closeConfigDialog);
        for (WORD command : {IDM_EXIT, IDM_FULLSCREEN, IDM_CONFIG}) {
            SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        }
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        SendMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
        KillTimer(nullptr, guard);
        survived = IsWindow(mainWindow);
        mainExStyle = GetWindowLongA(mainWindow, GWL_EXSTYLE);
    };
    boxWasSeen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, actWhileBoxUp);
    for (char ch : std::string("12\r")) SendMessageA(mainWindow, WM_CHAR, ch, 0);
    KillTimer(nullptr, timer);

    ASSERT_TRUE(boxWasSeen);
    EXPECT_FALSE(enabledDuringBox);
    EXPECT_TRUE(topmostBox);
    EXPECT_TRUE(survived);
    EXPECT_FALSE(mainExStyle & WS_EX_TOPMOST);
    EXPECT_EQ(configDialogsOpened, 0);
    EXPECT_FALSE(WorkFolder::holdsSetupDat());
    EXPECT_TRUE(IsWindowEnabled(mainWindow));
    EXPECT_STREQ(checkState.itemName, kServerErrorText);
    // Once the lookup has ended, the same command works again.
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(mainWindow));
}

std::string fileBytes(const char* path) {
    std::string bytes;
    if (FILE* file = std::fopen(path, "rb")) {
        char chunk[512];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
        std::fclose(file);
    }
    return bytes;
}

// The settings dialog, driven from a timer: a code comes from the scanner
// while it is open, and once that lookup's box is gone, "Anuluj".
int dialogStage = 0;
void CALLBACK scanWhileDialogOpen(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowA(MAKEINTATOM(32770), "Konfiguracja");
    if (dialog == nullptr || !IsWindowVisible(dialog)) return;
    if (dialogStage == 0) {
        SetDlgItemTextA(dialog, IDC_PORT_NAME, "COM9");  // OK would save a change
        PostMessageA(mainWindow, WM_SCANNER_BYTE, '7', 0);
        PostMessageA(mainWindow, WM_SCANNER_BYTE, '\r', 0);
        dialogStage = 1;
    } else if (dialogStage == 2 && FindWindowA(MAKEINTATOM(32770), "Uwaga") == nullptr) {
        KillTimer(nullptr, timer);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

// A code scanned while the settings are open is looked up inside the dialog's
// loop. While its box is up, the dialog's OK and "Zakończ" must not store the
// settings, restart the scanner or end the program beneath it.
TEST_F(MainWindowTest, DialogButtonsWaitForALookupStartedInsideTheDialog) {
    WorkFolder work("lumivo-dialog-box-test");
    lookupsShowABox();
    saveUserSettings();
    const std::string onDisk = fileBytes(kSettingsFileName);
    ASSERT_EQ(onDisk.size(), sizeof(Settings));
    bool dialogEnabled = true, dialogStayed = false;
    whileBoxUp = [&](HWND) {
        HWND dialog = FindWindowA(MAKEINTATOM(32770), "Konfiguracja");
        dialogEnabled = IsWindowEnabled(dialog);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        SendMessageA(dialog, WM_COMMAND, IDC_ZAKONCZ, 0);
        dialogStayed = IsWindowVisible(dialog);
        dialogStage = 2;
    };
    boxWasSeen = false;
    dialogStage = 0;
    const UINT_PTR driver = SetTimer(nullptr, 0, 20, scanWhileDialogOpen);
    const UINT_PTR boxTimer = SetTimer(nullptr, 0, 20, actWhileBoxUp);
    SendMessageA(mainWindow, WM_CHAR, 27, 0);  // Escape opens the settings
    KillTimer(nullptr, driver);
    KillTimer(nullptr, boxTimer);

    ASSERT_TRUE(boxWasSeen);
    EXPECT_FALSE(dialogEnabled);
    EXPECT_TRUE(dialogStayed);
    EXPECT_EQ(fileBytes(kSettingsFileName), onDisk);
    EXPECT_TRUE(IsWindow(mainWindow));
    EXPECT_STREQ(checkState.code, "7");
}

// The About box comes from its template through command 104 and closes with
// Cancel (Escape or its close box), like OK.
struct AboutBoxSeen {
    char title[64];
    char button[16];
    LONG noteStyle;
    LONG noteExStyle;
    int staticTexts;
};
AboutBoxSeen aboutSeen;

BOOL CALLBACK countStatics(HWND child, LPARAM) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0) ++aboutSeen.staticTexts;
    return TRUE;
}

void CALLBACK closeAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = FindWindowA(MAKEINTATOM(32770), "O programie");
    if (box == nullptr) return;
    KillTimer(nullptr, timer);
    GetWindowTextA(box, aboutSeen.title, sizeof aboutSeen.title);
    GetDlgItemTextA(box, IDOK, aboutSeen.button, sizeof aboutSeen.button);
    EnumChildWindows(box, countStatics, 0);
    // The note is the last control of the template.
    HWND note = GetWindow(GetWindow(box, GW_CHILD), GW_HWNDLAST);
    aboutSeen.noteStyle = GetWindowLongA(note, GWL_STYLE);
    aboutSeen.noteExStyle = GetWindowLongA(note, GWL_EXSTYLE);
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

// Windows shutting down ends the process when WM_ENDSESSION returns: the
// exit steps run inside the message, even while a lookup's box is up.
TEST_F(MainWindowTest, WindowsShutdownRunsTheExitStepsInsideTheMessage) {
    WorkFolder work("lumivo-shutdown-test");
    lookupsShowABox();
    settings.baudRate = 4321;
    EXPECT_EQ(SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0), TRUE);
    bool savedInside = false;
    uintptr_t timerInside = 1;
    whileBoxUp = [&](HWND) {
        SendMessageA(mainWindow, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        savedInside = WorkFolder::holdsSetupDat();
        timerInside = idleTimer;
    };
    boxWasSeen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, actWhileBoxUp);
    for (char ch : std::string("123\r")) SendMessageA(mainWindow, WM_CHAR, ch, 0);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(boxWasSeen);
    EXPECT_TRUE(savedInside);
    EXPECT_EQ(timerInside, 0u);
    Settings saved = {};
    FILE* file = std::fopen(kSettingsFileName, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fread(&saved, 1, sizeof saved, file), sizeof saved);
    std::fclose(file);
    EXPECT_EQ(saved.baudRate, 4321);
}

// When a box goes, Windows activates the next enabled window, which may be
// another program's: the window of ours that was in front gets the front
// and the keyboard back, so typed codes do not land elsewhere.
TEST_F(MainWindowTest, AfterABoxTheMainWindowHasTheKeyboardAgain) {
    ShowWindow(mainWindow, SW_SHOW);
    SetForegroundWindow(mainWindow);
    pumpMessages();
    ASSERT_EQ(GetForegroundWindow(), mainWindow);
    boxWasSeen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, actWhileBoxUp);
    showWarning("Nie otwarto portu komunikacyjnego: COM3");
    KillTimer(nullptr, timer);
    ASSERT_TRUE(boxWasSeen);
    pumpMessages();
    EXPECT_EQ(GetForegroundWindow(), mainWindow);
    EXPECT_EQ(GetFocus(), mainWindow);
}

// One checker per folder: the folder is claimed once, a second claim finds
// the first on this desktop, and the end event that the installer sets ends
// the checker as "Koniec" does, closing an open dialog first.
TEST_F(MainWindowTest, FolderIsClaimedOnceAndItsEndEventEndsTheChecker) {
    WorkFolder work("lumivo-claim-test");
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    EXPECT_FALSE(checkerRunsInFolder(folder));
    ASSERT_EQ(claimCheckerFolder(), FolderClaim::Claimed);
    EXPECT_TRUE(checkerRunsInFolder(folder));
    EXPECT_EQ(claimCheckerFolder(), FolderClaim::RunsInThisSession);

    publishCheckerWindow(mainWindow);
    RunningChecker published;
    ASSERT_TRUE(readRunningChecker(folder, &published));
    EXPECT_EQ(published.processId, GetCurrentProcessId());
    EXPECT_EQ(published.window, reinterpret_cast<uintptr_t>(mainWindow));

    startEndRequestWaiter(checkerEndEvent(), mainWindow);
    ASSERT_TRUE(askCheckerToEnd(folder));
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);  // ended by the request
    for (int wait = 0; wait < 300 && IsWindow(mainWindow); ++wait) {
        Sleep(10);
        pumpMessages();
    }
    EXPECT_FALSE(IsWindow(mainWindow));
    withdrawRunningChecker();
    EXPECT_FALSE(readRunningChecker(folder, &published));
}

TEST_F(MainWindowTest, AboutCommandShowsTheAboutBox) {
    aboutSeen = {};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, closeAboutBox);
    ASSERT_NE(timer, 0u);
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    KillTimer(nullptr, timer);
    EXPECT_STREQ(aboutSeen.title, "O programie");
    EXPECT_STREQ(aboutSeen.button, "OK");
    EXPECT_EQ(aboutSeen.staticTexts, 4);  // the icon, two lines and the note
    EXPECT_EQ(aboutSeen.noteStyle & SS_TYPEMASK, SS_CENTER);
    EXPECT_TRUE(aboutSeen.noteStyle & SS_SUNKEN);
    EXPECT_TRUE(aboutSeen.noteExStyle & WS_EX_STATICEDGE);
    EXPECT_TRUE(IsWindow(mainWindow));
}

}  // namespace
