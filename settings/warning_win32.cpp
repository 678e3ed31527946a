// The warning box: modal, without an owner, so it shows even before the main
// window exists (a missing price file is reported during start-up).
#include <windows.h>

#include "settings/warning.h"

void showWarning(const char* text) {
    MessageBoxA(nullptr, text, "Uwaga", MB_OK);
}
