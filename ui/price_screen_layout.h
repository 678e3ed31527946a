// Where each line of the price screen goes, worked out without any window:
// a display list of texts with font, alignment and position that the GDI
// painter draws as it stands.
#pragma once

#include <array>
#include <cstddef>

#include "lookup/check_state.h"
#include "settings/settings.h"

enum class ScreenFont { Small, Big };
enum class ScreenAlign { LeftTop, CenterTop };

inline constexpr int kScreenLineSize = 256;  // 255 characters and a zero byte

struct ScreenText {
    int x;
    int y;
    ScreenFont font;
    ScreenAlign align;
    char text[kScreenLineSize];  // Windows-1250, ready to draw
    int length;                  // bytes of text
};

inline constexpr unsigned kScreenBackground = 0x963200;  // COLORREF 0x00BBGGRR
inline constexpr unsigned kScreenTextColour = 0xF0F0F0;
inline constexpr int kFaceNameSize = 32;  // LF_FACESIZE

struct ScreenLayout {
    int width;
    int height;
    int bandHeight;  // H / 8; the bottom remainder stays plain blue
    int bigFontHeight;
    int smallFontHeight;
    char fontName[kFaceNameSize];  // face name as the font request takes it
    int count;
    std::array<ScreenText, 8> texts;  // in drawing order
};

// Works out the whole screen for a client area of width x height pixels from
// the check state and the display settings. Reads both, changes neither.
ScreenLayout layoutPriceScreen(const CheckState& state, const Settings& config, int width,
                               int height);
