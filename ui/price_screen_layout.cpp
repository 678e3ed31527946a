// The price screen worked out as a display list: which texts, in which font,
// where, for the prompt face and the result face. Numbers are written the same
// in every locale, and name lines are recoded on their copies.
#include "ui/price_screen_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/decimal.h"
#include "base/text.h"
#include "lookup/polish_text.h"

namespace {

constexpr int kNameLineChars = 40;  // one name line; two lines show at most 80

// The prompt in Windows-1250: the "ź" is 0x9F.
constexpr char kPromptText[] = "Wprowad\x9F kod towaru";

// Length of a text in a fixed-size field that may lack its zero byte, as
// printf's "%.*s" takes it.
int shownLength(const char* field, size_t width) {
    return static_cast<int>(fieldLength(field, width));
}

// The formatted length, or what fitted when snprintf had to cut the line.
int boundedLength(int printed) {
    return std::clamp(printed, 0, kScreenLineSize - 1);
}

void formatMoney(char* out, size_t size, double money) {
    formatFixedPoint(out, size, money / kMoneyUnitsPerCurrencyUnit, 2);
}

ScreenText& addText(ScreenLayout& layout, int x, int y, ScreenFont font, ScreenAlign align) {
    ScreenText& text = layout.texts[layout.count++];
    text.x = x;
    text.y = y;
    text.font = font;
    text.align = align;
    text.text[0] = '\0';
    text.length = 0;
    return text;
}

// A name line: up to 40 characters of the Mazovia name, recoded on the copy
// so that the stored name stays as the price file or server gave it.
void addNameLine(ScreenLayout& layout, int x, int y, const char* name, int length) {
    ScreenText& line = addText(layout, x, y, ScreenFont::Small, ScreenAlign::CenterTop);
    line.length = boundedLength(
        std::snprintf(line.text, sizeof line.text, "%.*s", std::min(length, kNameLineChars), name));
    toDisplayText(line.text, line.length);
}

// The optional net and gross prices of band 0, each piece followed by three
// blanks (the last one too: they count in the centring).
int formatExtras(char* line, const CheckState& state, const Settings& config) {
    struct Piece {
        int32_t shown;
        const char* label;
        double money;
    };
    const Piece pieces[] = {
        {config.showNet1, "Netto1: ", state.net1},
        {config.showNet2, "Netto2: ", state.net2},
        {config.showGross1, "Brutto1: ", state.gross1},
        {config.showGross2, "Brutto2: ", state.gross2},
    };
    size_t used = 0;
    int count = 0;
    line[0] = '\0';
    for (const Piece& piece : pieces) {
        if (piece.shown == 0) continue;
        char amount[kScreenLineSize];
        formatMoney(amount, sizeof amount, piece.money);
        char text[kScreenLineSize];
        const int length =
            boundedLength(std::snprintf(text, sizeof text, "%s%s   ", piece.label, amount));
        appendBounded(line, kScreenLineSize, &used, text, static_cast<size_t>(length));
        ++count;
    }
    return count == 0 ? -1 : static_cast<int>(used);
}

void layoutResultFace(ScreenLayout& layout, const CheckState& state, const Settings& config) {
    const int w = layout.width;
    const int h = layout.bandHeight;
    const int middle = w / 2;
    char amount[kScreenLineSize];
    char other[kScreenLineSize];

    const int nameLength = shownLength(state.itemName, sizeof state.itemName);
    addNameLine(layout, middle, h, state.itemName, nameLength);
    if (nameLength > kNameLineChars) {
        addNameLine(layout, middle, h + h / 2, state.itemName + kNameLineChars,
                    nameLength - kNameLineChars);
    }

    ScreenText& total =
        addText(layout, w - w / 4, 7 * h, ScreenFont::Small, ScreenAlign::CenterTop);
    formatMoney(amount, sizeof amount, state.total);
    total.length = boundedLength(std::snprintf(total.text, sizeof total.text, "Razem: %s", amount));

    if (state.weight > 0.0) {
        ScreenText& weight =
            addText(layout, middle, 5 * h, ScreenFont::Small, ScreenAlign::CenterTop);
        formatFixedPoint(amount, sizeof amount, state.weight, 3);
        formatMoney(other, sizeof other, state.unitPrice);
        weight.length = boundedLength(
            std::snprintf(weight.text, sizeof weight.text, "Masa: %s  %.*s    Cena/jm:%s", amount,
                          shownLength(state.unit, sizeof state.unit), state.unit, other));
    }

    char extras[kScreenLineSize];
    const int extrasLength = formatExtras(extras, state, config);
    if (extrasLength >= 0) {
        ScreenText& line = addText(layout, middle, 0, ScreenFont::Small, ScreenAlign::CenterTop);
        std::memcpy(line.text, extras, static_cast<size_t>(extrasLength) + 1);
        line.length = extrasLength;
    }

    ScreenText& price = addText(layout, middle, 4 * h, ScreenFont::Big, ScreenAlign::CenterTop);
    formatMoney(amount, sizeof amount, state.price);
    price.length = boundedLength(std::snprintf(price.text, sizeof price.text, "Cena: %s", amount));
}

}  // namespace

ScreenLayout layoutPriceScreen(const CheckState& state, const Settings& config, int width,
                               int height) {
    ScreenLayout layout{};
    layout.width = std::max(width, 0);
    layout.height = std::max(height, 0);
    layout.bandHeight = layout.height / 8;
    layout.bigFontHeight = layout.bandHeight;
    layout.smallFontHeight = layout.bandHeight / 2;

    // The font request holds 31 characters; a longer configured face is cut.
    const size_t faceLength =
        std::min(strnlen(config.fontName, sizeof config.fontName), sizeof layout.fontName - 1);
    std::memcpy(layout.fontName, config.fontName, faceLength);
    layout.fontName[faceLength] = '\0';

    const int h = layout.bandHeight;
    ScreenText& code = addText(layout, 0, 7 * h, ScreenFont::Small, ScreenAlign::LeftTop);
    code.length =
        boundedLength(std::snprintf(code.text, sizeof code.text, "Kod: %.*s",
                                    shownLength(state.code, sizeof state.code), state.code));

    if (state.resultShown == 0) {
        ScreenText& prompt =
            addText(layout, layout.width / 2, 2 * h, ScreenFont::Big, ScreenAlign::CenterTop);
        prompt.length = static_cast<int>(sizeof kPromptText - 1);
        std::memcpy(prompt.text, kPromptText, sizeof kPromptText);
        return layout;
    }
    layoutResultFace(layout, state, config);
    return layout;
}
