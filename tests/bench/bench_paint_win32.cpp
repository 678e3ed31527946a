// How long a paint of the price screen takes under this Windows: the
// painter into a memory device context (a 32-bit DIB section), and a whole
// repaint of the real main window (invalidate, then update, which runs its
// WM_PAINT), at 800 x 600 and 1920 x 1080, on the result face with every
// line shown: extras, two name lines, price, weight, code and total.
//
// One line per target and size, for tools/bench_wine.py:
//   paint target=memory size=800x600 median_ms=0.61 p90_ms=0.70 paints=200
// The display must be larger than 1920 x 1080 plus the window's frame.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lookup/check_state.h"
#include "settings/settings.h"
#include "tests/bench/win32_clock.h"
#include "ui/main_window.h"
#include "ui/price_screen.h"

namespace {

constexpr int kPaints = 200;

double nowMs() {
    return nowSeconds() * 1000.0;
}

// Every line of the result face: net and gross prices, a name of two lines,
// a weighed item, code and running total.
void showFullResult() {
    std::memset(&settings, 0, sizeof settings);
    std::snprintf(settings.fontName, sizeof settings.fontName, "Arial CE");
    settings.showNet1 = settings.showNet2 = settings.showGross1 = settings.showGross2 = 1;
    std::memset(&checkState, 0, sizeof checkState);
    std::snprintf(checkState.code, sizeof checkState.code, "2100012012348");
    std::snprintf(checkState.itemName, sizeof checkState.itemName, "%s",
                  "Szynka wieprzowa gotowana z beczki extra, plastry pakowane prozniowo 1 kg");
    std::snprintf(checkState.unit, sizeof checkState.unit, "kg");
    checkState.price = 493500;
    checkState.unitPrice = 399900;
    checkState.weight = 1.234;
    checkState.total = 1287400;
    checkState.net1 = 456900;
    checkState.net2 = 370200;
    checkState.gross1 = 493500;
    checkState.gross2 = 399900;
    checkState.resultShown = 1;
}

void report(const char* target, int width, int height, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("paint target=%s size=%dx%d median_ms=%.3f p90_ms=%.3f paints=%zu\n", target, width,
                height, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.size());
    std::fflush(stdout);
}

void paintIntoMemory(int width, int height) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const ScreenLayout layout = layoutPriceScreen(checkState, settings, width, height);
    std::vector<double> ms;
    for (int i = 0; i < kPaints; ++i) {
        const double start = nowMs();
        drawPriceScreen(dc, layout);
        GdiFlush();
        ms.push_back(nowMs() - start);
    }
    report("memory", width, height, ms);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// Lets the window handle what its size change and the last paint queued,
// outside the timing.
void drainMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Sizes the window so that its client area is width x height; false when
// the window manager or the screen would not give it that.
bool sizeClientArea(HWND window, int width, int height) {
    RECT area = {0, 0, width, height};
    AdjustWindowRectEx(&area, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, area.right - area.left, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOMOVE);
    for (int i = 0; i < 50; ++i) {
        drainMessages();
        Sleep(10);
    }
    RECT client;
    GetClientRect(window, &client);
    return client.right == width && client.bottom == height;
}

void repaintWindow(HWND window, int width, int height) {
    if (!sizeClientArea(window, width, height)) {
        std::printf("paint target=window size=%dx%d error=client-area-not-given\n", width, height);
        return;
    }
    std::vector<double> ms;
    for (int i = 0; i < kPaints; ++i) {
        drainMessages();
        const double start = nowMs();
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        GdiFlush();
        ms.push_back(nowMs() - start);
    }
    report("window", width, height, ms);
}

}  // namespace

int main() {
    showFullResult();
    const int sizes[][2] = {{800, 600}, {1920, 1080}};
    for (const auto& size : sizes) paintIntoMemory(size[0], size[1]);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    appInstance = instance;
    registerMainWindowClass(instance, "LUMIVO");
    mainWindow = CreateWindowExA(0, "LUMIVO", "lumivo", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                 nullptr, nullptr, instance, nullptr);
    if (mainWindow == nullptr) return 1;
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    for (const auto& size : sizes) repaintWindow(mainWindow, size[0], size[1]);
    DestroyWindow(mainWindow);
    return 0;
}
