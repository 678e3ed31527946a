// The main window's globals and private messages, shared by the Windows
// files of ui/ and the Windows tests that drive the window.
#pragma once

#include <windows.h>

// A byte from the scanner, posted by the reader thread; wParam holds it.
inline constexpr UINT WM_SCANNER_BYTE = WM_APP + 1;

// The folder's end event was set (the installer, the settings tool): end as
// "Koniec" does, once no lookup is running.
inline constexpr UINT WM_END_REQUEST = WM_APP + 2;

extern HINSTANCE appInstance;
extern HWND mainWindow;

// The main window's procedure: painting, typed characters, the idle timer
// and the menu commands.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sizes the window so that its client area covers the whole primary screen
// (caption, menu bar and borders fall outside it) and makes it topmost. The
// window stays in full-screen mode for the rest of the run: a change of the
// display applies the rectangle of the new size.
void enterFullScreen(HWND window);

// Waits on `event` on a thread of its own and posts WM_END_REQUEST to
// `window` each time it is set. Nothing happens for a null event.
void startEndRequestWaiter(HANDLE event, HWND window);

// The steps after the message loop: the scanner stopped (its reader has
// closed the port), the settings saved, the idle timer stopped, the folder's
// lumivo.run removed. Run once,
// by WinMain after the loop or by Windows shutting down, whichever is first.
void runShutdownSteps();

// The About box (dialog 103).
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The largest size the main window may take; full screen needs more than
// the screen, since its caption and menu bar lie above the top edge.
inline constexpr LONG kUnlimitedWindowSize = 0x7FFFF;

// Starts the scanner on settings.portName when one is named (8N1 at
// settings.baudRate); a port that will not open has been reported.
void startScannerIfNamed();

// Registers the main window's class under `className` (string 109); its
// menu, icons and cursor come from the program's resources.
ATOM registerMainWindowClass(HINSTANCE instance, const char* className);
