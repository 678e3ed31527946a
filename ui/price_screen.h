// Drawing the price screen with GDI. Windows only: the layout itself is
// portable (ui/price_screen_layout.h).
#pragma once

#include <windows.h>

#include "ui/price_screen_layout.h"

// Draws the whole client area of `window` from checkState and settings, for
// WM_PAINT. Keeps nothing between calls.
void paintPriceScreen(HWND window);

// Draws a worked-out screen into any device context: fills width x height
// with the blue, then draws the display list in its order. Creates and
// deletes its brush and fonts and puts back the DC's previous brush and font.
void drawPriceScreen(HDC dc, const ScreenLayout& layout);
