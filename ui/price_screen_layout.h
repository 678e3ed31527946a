// Where each line of the price screen goes, worked out without any window:
// a display list of texts with font, alignment and position that the GDI
// painter draws as it stands.
#pragma once

#include <array>

#include "lookup/check_state.h"
#include "settings/settings.h"

enum class ScreenFont { Small, Big };
enum class ScreenAlign { LeftTop, CenterTop };

struct ScreenText {
    int x;
    int y;
    ScreenFont font;
    ScreenAlign align;
    char text[256];  // Windows-1250, ready to draw
    int length;      // bytes of text
};

inline constexpr unsigned kScreenBackground = 0x963200;  // COLORREF 0x00BBGGRR
inline constexpr unsigned kScreenTextColour = 0xF0F0F0;

struct ScreenLayout {
    int width;
    int height;
    int bigFontHeight;
    int smallFontHeight;
    char fontName[32];  // face name as the font request takes it
    int count;
    std::array<ScreenText, 8> texts;  // in drawing order
};

ScreenLayout layoutPriceScreen(const CheckState& state, const Settings& config, int width,
                               int height);
