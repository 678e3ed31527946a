// Draws the price screen's display list with GDI: a blue brush over the whole
// client area, two fonts made for this paint only, opaque light text.
#include <cstring>

#include "lookup/entry.h"
#include "settings/settings.h"
#include "ui/price_screen.h"

namespace {

// Both fonts ask for the configured face in the Central European character
// set; the fixed-pitch modern family only steers the choice when the face
// is missing on this till.
HFONT createScreenFont(int height, const char* faceName) {
    LOGFONTA request;
    std::memset(&request, 0, sizeof request);
    request.lfHeight = height;
    request.lfCharSet = EASTEUROPE_CHARSET;
    request.lfPitchAndFamily = FF_MODERN | FIXED_PITCH;
    static_assert(sizeof request.lfFaceName == kFaceNameSize);
    std::memcpy(request.lfFaceName, faceName, kFaceNameSize);
    request.lfFaceName[kFaceNameSize - 1] = '\0';
    return CreateFontIndirectA(&request);
}

UINT alignmentFlags(ScreenAlign align) {
    return align == ScreenAlign::CenterTop ? (TA_CENTER | TA_TOP) : (TA_LEFT | TA_TOP);
}

}  // namespace

void drawPriceScreen(HDC dc, const ScreenLayout& layout) {
    const RECT client = {0, 0, layout.width, layout.height};
    HBRUSH background = CreateSolidBrush(kScreenBackground);
    HGDIOBJ previousBrush = SelectObject(dc, background);
    FillRect(dc, &client, background);

    HFONT bigFont = createScreenFont(layout.bigFontHeight, layout.fontName);
    HFONT smallFont = createScreenFont(layout.smallFontHeight, layout.fontName);
    HGDIOBJ previousFont = SelectObject(dc, smallFont);
    SetTextColor(dc, kScreenTextColour);
    SetBkColor(dc, kScreenBackground);  // opaque cells in the screen's own blue
    SetTextAlign(dc, TA_LEFT | TA_TOP);

    ScreenFont currentFont = ScreenFont::Small;
    ScreenAlign currentAlign = ScreenAlign::LeftTop;
    for (int i = 0; i < layout.count; ++i) {
        const ScreenText& line = layout.texts[i];
        if (line.font != currentFont) {
            SelectObject(dc, line.font == ScreenFont::Big ? bigFont : smallFont);
            currentFont = line.font;
        }
        if (line.align != currentAlign) {
            SetTextAlign(dc, alignmentFlags(line.align));
            currentAlign = line.align;
        }
        TextOutA(dc, line.x, line.y, line.text, line.length);
    }

    SelectObject(dc, previousBrush);
    SelectObject(dc, previousFont);
    DeleteObject(background);
    DeleteObject(bigFont);
    DeleteObject(smallFont);
}

void paintPriceScreen(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const ScreenLayout layout =
        layoutPriceScreen(checkStateToPaint(), settings, client.right, client.bottom);
    drawPriceScreen(dc, layout);
    EndPaint(window, &paint);
}
