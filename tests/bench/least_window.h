// The least titled window: one class, one window, shown and updated, as
// lumivo.exe shows its main window. The least window program and the scan
// floor are built on it, so what they are measured for is all they add.
#pragma once

#include <windows.h>

// Ends the message loop when the window goes; all else is Windows' default.
inline LRESULT CALLBACK leastWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND createLeastWindow(HINSTANCE instance, WNDPROC procedure, const char* className,
                              const char* title, int showCommand) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    if (RegisterClassA(&windowClass) == 0) return nullptr;
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return window;
}

// The message loop, until the window has gone; returns the exit code.
inline int runLeastMessageLoop() {
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
