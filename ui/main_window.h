// The main window's globals and private messages, shared by the Windows
// files of ui/ and the Windows tests that drive the window.
#pragma once

#include <windows.h>

// A byte from the scanner, posted by the reader thread; wParam holds it.
inline constexpr UINT WM_SCANNER_BYTE = WM_APP + 1;

extern HINSTANCE appInstance;
extern HWND mainWindow;

// The main window's procedure: painting, typed characters, the idle timer
// and the menu commands.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sizes the window so that its client area covers the whole primary screen
// (caption, menu bar and borders fall outside it) and makes it topmost.
void enterFullScreen(HWND window);

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
