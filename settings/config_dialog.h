// The configuration dialog (template 129), Windows only.
#pragma once

#include <windows.h>

// Shows the dialog modally over `owner`. 1 after OK, 2 after "Anuluj",
// 3 after "Zakończ" (the caller then ends the program); -1 or 0 when the
// dialog could not be shown.
INT_PTR showConfigDialog(HWND owner);

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
