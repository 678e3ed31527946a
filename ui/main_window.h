// The main window's globals and private messages, shared by the Windows
// files of ui/ and settings/.
#pragma once

#include <windows.h>

// A byte from the scanner, posted by the reader thread; wParam holds it.
inline constexpr UINT WM_SCANNER_BYTE = WM_APP + 1;

extern HINSTANCE appInstance;
extern HWND mainWindow;
