// The least Windows program that opens a titled window: one class, one
// window, the message loop. Built with the same compiler and flags as
// lumivo.exe, it is what tools/bench_wine.py measures the program's start-up,
// memory and idle processor time against. The window is titled "least".
#include <windows.h>

#include "tests/bench/least_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (createLeastWindow(instance, leastWindowProc, "LEAST", "least", showCommand) == nullptr) {
        return 1;
    }
    return runLeastMessageLoop();
}
