// The price screen drawn by GDI into a memory bitmap: blue everywhere, light
// text only in the bands where the layout puts it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/decimal.h"
#include "lookup/check_state.h"
#include "settings/settings.h"
#include "ui/price_screen.h"

namespace {

constexpr uint32_t kBlue = 0x003296;   // 0, 50, 150 as the DIB stores it (0x00RRGGBB)
constexpr uint32_t kLight = 0xF0F0F0;  // 240, 240, 240
constexpr uint32_t kJunk = 0xFF0000;   // what the bitmap holds before the paint

// A top-down 32-bit DIB section selected into a memory DC.
struct MemorySurface {
    int width;
    int height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    uint32_t* pixels = nullptr;

    MemorySurface(int w, int h) : width(w), height(h) {
        BITMAPINFO info;
        std::memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        previousBitmap = SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) pixels[i] = kJunk;
    }
    ~MemorySurface() {
        SelectObject(dc, previousBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;

    uint32_t at(int x, int y) const {
        GdiFlush();
        return pixels[y * width + x] & 0xFFFFFF;
    }
};

// Where the ink of a rectangle lies: every pixel that is not the blue.
struct Ink {
    int count = 0;
    int exactLight = 0;
    int foreign = 0;  // neither blue nor a shade between blue and the text colour
    int left = INT32_MAX, right = -1, top = INT32_MAX, bottom = -1;
};

bool isBlueToLightShade(uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return r <= 240 && g >= 50 && g <= 240 && b >= 150 && b <= 240;
}

Ink inkIn(const MemorySurface& surface, int x0, int y0, int x1, int y1) {
    Ink ink;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const uint32_t pixel = surface.at(x, y);
            if (pixel == kBlue) continue;
            ++ink.count;
            if (pixel == kLight) ++ink.exactLight;
            if (!isBlueToLightShade(pixel)) ++ink.foreign;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

Ink inkInBand(const MemorySurface& surface, int band, int h) {
    return inkIn(surface, 0, band * h, surface.width, (band + 1) * h);
}

class PriceScreenPaint : public ::testing::Test {
protected:
    CheckState state{};
    Settings config{};

    void SetUp() override {
        std::strcpy(config.fontName, "Arial CE");
        std::strcpy(state.code, "5901234123457");
    }

    void fillResult() {
        state.resultShown = 1;
        std::strcpy(state.itemName, "MLEKO 3,2% 1L");
        state.price = 32900;
        state.total = 65800;
    }
};

TEST_F(PriceScreenPaint, PromptFaceInkOnlyInThePromptBandAndTheCode) {
    MemorySurface surface(800, 600);
    drawPriceScreen(surface.dc, layoutPriceScreen(state, config, 800, 600));
    const int h = 75;
    for (int band : {0, 1, 3, 4, 5, 6}) EXPECT_EQ(inkInBand(surface, band, h).count, 0) << band;

    const Ink prompt = inkInBand(surface, 2, h);
    EXPECT_GT(prompt.count, 500);
    EXPECT_GT(prompt.exactLight, 0);
    EXPECT_EQ(prompt.foreign, 0);
    EXPECT_NEAR((prompt.left + prompt.right) / 2.0, 400, 25);  // centred on W/2

    const Ink code = inkIn(surface, 0, 7 * h, 400, 8 * h);
    EXPECT_GT(code.count, 50);
    EXPECT_LT(code.left, 10);               // left-aligned at x = 0
    EXPECT_LT(code.bottom, 7 * h + h / 2);  // small font: upper half of the band
    EXPECT_EQ(inkIn(surface, 400, 7 * h, 800, 8 * h).count, 0);     // no total
    EXPECT_GT(prompt.bottom - prompt.top, code.bottom - code.top);  // big over small
}

TEST_F(PriceScreenPaint, ResultFaceInkInTheNamePriceAndBottomBands) {
    fillResult();
    MemorySurface surface(800, 600);
    drawPriceScreen(surface.dc, layoutPriceScreen(state, config, 800, 600));
    const int h = 75;
    for (int band : {0, 2, 3, 5, 6}) EXPECT_EQ(inkInBand(surface, band, h).count, 0) << band;

    const Ink name = inkInBand(surface, 1, h);
    EXPECT_GT(name.count, 50);
    EXPECT_LT(name.bottom, h + h / 2);  // one name line, small font
    EXPECT_NEAR((name.left + name.right) / 2.0, 400, 25);

    const Ink price = inkInBand(surface, 4, h);
    EXPECT_GT(price.count, 500);
    EXPECT_GT(price.exactLight, 0);
    EXPECT_EQ(price.foreign, 0);
    EXPECT_NEAR((price.left + price.right) / 2.0, 400, 25);

    const Ink total = inkIn(surface, 400, 7 * h, 800, 8 * h);
    EXPECT_GT(total.count, 50);
    EXPECT_NEAR((total.left + total.right) / 2.0, 600, 25);     // centred on W - W/4
    EXPECT_GT(inkIn(surface, 0, 7 * h, 200, 8 * h).count, 50);  // the code
}

TEST_F(PriceScreenPaint, ExtrasAndWeightLinesFillBandsZeroAndFive) {
    fillResult();
    std::strcpy(state.unit, "kg");
    state.weight = 1.25;
    state.unitPrice = 129900;
    state.net1 = 100000;
    config.showNet1 = 1;
    MemorySurface surface(800, 600);
    drawPriceScreen(surface.dc, layoutPriceScreen(state, config, 800, 600));
    EXPECT_GT(inkInBand(surface, 0, 75).count, 50);
    const Ink weight = inkInBand(surface, 5, 75);
    EXPECT_GT(weight.count, 50);
    EXPECT_LT(weight.bottom, 5 * 75 + 37);
    EXPECT_EQ(inkInBand(surface, 6, 75).count, 0);
}

TEST_F(PriceScreenPaint, WholeSurfaceIsBlueIncludingTheRemainderBelowTheBands) {
    fillResult();
    MemorySurface surface(801, 607);  // 7 rows below the eighth band
    drawPriceScreen(surface.dc, layoutPriceScreen(state, config, 801, 607));
    EXPECT_EQ(inkIn(surface, 0, 600, 801, 607).count, 0);
    EXPECT_EQ(surface.at(0, 0), kBlue);
    EXPECT_EQ(surface.at(800, 606), kBlue);
    EXPECT_EQ(inkIn(surface, 0, 0, 801, 607).foreign, 0);  // no junk left anywhere
}

TEST_F(PriceScreenPaint, PutsBackTheSurfacesBrushAndFontAndFreesItsOwn) {
    fillResult();
    MemorySurface surface(200, 160);
    HGDIOBJ brush = GetCurrentObject(surface.dc, OBJ_BRUSH);
    HGDIOBJ font = GetCurrentObject(surface.dc, OBJ_FONT);
    const DWORD objectsBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const ScreenLayout layout = layoutPriceScreen(state, config, 200, 160);
    for (int paint = 0; paint < 50; ++paint) drawPriceScreen(surface.dc, layout);
    EXPECT_EQ(GetCurrentObject(surface.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(surface.dc, OBJ_FONT), font);
    // Windows counts the process's GDI objects; Wine reports 0 and so
    // cannot show a leaked brush or font here.
    if (objectsBefore != 0) {
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objectsBefore);
    }
}

TEST_F(PriceScreenPaint, TinyWindowPaintsWithoutTrouble) {
    fillResult();
    for (int height : {1, 7, 8, 15}) {
        MemorySurface surface(40, height);
        drawPriceScreen(surface.dc, layoutPriceScreen(state, config, 40, height));
        EXPECT_EQ(inkIn(surface, 0, 0, 40, height).foreign, 0) << height;
    }
}

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(PriceScreenPaint, PaintingAWindowValidatesItsClientArea) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "lumivoPaintTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowA("lumivoPaintTest", "paint", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    fillResult();
    checkState = state;
    settings = config;
    InvalidateRect(window, nullptr, FALSE);
    paintPriceScreen(window);
    RECT pending;
    EXPECT_FALSE(GetUpdateRect(window, &pending, FALSE));
    DestroyWindow(window);
    UnregisterClassA("lumivoPaintTest", windowClass.hInstance);
    std::memset(&checkState, 0, sizeof checkState);
    std::memset(&settings, 0, sizeof settings);
}

}  // namespace

// The program's C runtime is MinGW's, not glibc's: the same rounding and the
// same "." must come out of it, Polish regional settings or not.
TEST(PriceScreenNumbers, WindowsRuntimeRoundsHalvesUpAndWritesADot) {
    auto check = [](const char* locale) {
        SCOPED_TRACE(locale);
        char out[kScreenLineSize];
        const std::pair<double, const char*> cases[] = {
            {0.125, "0.13"}, {-0.125, "-0.13"}, {1.005, "1.01"},
            {0.135, "0.14"}, {12.99, "12.99"},  {1e20, "100000000000000000000.00"},
            {2.675, "2.68"},
        };
        for (const auto& [value, text] : cases) {
            formatFixedPoint(out, sizeof out, value, 2);
            EXPECT_STREQ(out, text);
        }
        formatFixedPoint(out, sizeof out, 1.25, 3);
        EXPECT_STREQ(out, "1.250");
    };
    check("C");
    if (std::setlocale(LC_ALL, "Polish_Poland.1250") != nullptr ||
        std::setlocale(LC_ALL, "pl-PL") != nullptr) {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        check(probe);  // names the separator the runtime itself would use
    }
    std::setlocale(LC_ALL, "C");
}
