// The price screen worked out as a display list: which texts, in which font,
// where, for the prompt face and the result face. Numbers are formatted here,
// the same in every locale, and name lines are recoded on their copies.
#include "ui/price_screen_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lookup/polish_text.h"

namespace {

constexpr int kNameLineChars = 40;  // one name line; two lines show at most 80
constexpr double kMoneyUnits = 10000.0;

// The prompt in Windows-1250: the "ź" is 0x9F.
constexpr char kPromptText[] = "Wprowad\x9F kod towaru";

// Writes the decimal digits of `number`, at least `minDigits` of them, into
// `digits` (room for 21 bytes). Returns the count.
int writeDigits(char* digits, uint64_t number, int minDigits) {
    char reversed[21];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 || count < minDigits);
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

// A magnitude lies exactly halfway between two printable values only when it
// is an odd multiple of 2^-(decimals+1); then `rounded` gets the value scaled
// by 10^decimals and rounded away from zero. The C library would round such
// a price to even (0.125 to 0.12), where the shop expects 0.13.
bool roundExactHalf(double magnitude, int decimals, uint64_t* rounded) {
    const double scaled = std::ldexp(magnitude, decimals + 1);  // exact
    if (!(scaled < 9007199254740992.0) || scaled != std::floor(scaled)) return false;
    const auto halves = static_cast<uint64_t>(scaled);
    if (halves % 2 == 0) return false;
    uint64_t fivePower = 1;
    for (int i = 0; i < decimals; ++i) fivePower *= 5;
    *rounded = (halves * fivePower + 1) / 2;
    return true;
}

// Digits of `magnitude` rounded to `decimals` places, without sign and
// separator. Apart from exact halves the C library's rounding is exact; only
// its digits are kept, so whatever separator the locale prints drops out.
int roundedDigits(char* digits, size_t size, double magnitude, int decimals) {
    uint64_t rounded = 0;
    if (roundExactHalf(magnitude, decimals, &rounded)) {
        return writeDigits(digits, rounded, decimals + 1);
    }
    char printed[400];  // the largest double has 309 integer digits
    std::snprintf(printed, sizeof printed, "%.*f", decimals, magnitude);
    int count = 0;
    for (const char* p = printed; *p != '\0' && static_cast<size_t>(count) < size; ++p) {
        if (*p >= '0' && *p <= '9') digits[count++] = *p;
    }
    return count;
}

// Appends up to `length` bytes of `text` to `out`, keeping the zero byte
// within `size`. `used` is the length of `out` so far and is updated.
void appendBounded(char* out, size_t size, size_t* used, const char* text, size_t length) {
    const size_t room = size - 1 - *used;
    const size_t taken = std::min(room, length);
    std::memcpy(out + *used, text, taken);
    *used += taken;
    out[*used] = '\0';
}

// Length of a text in a fixed-size field that may lack its zero byte.
int fieldLength(const char* field, size_t width) {
    return static_cast<int>(strnlen(field, width));
}

// The formatted length, or what fitted when snprintf had to cut the line.
int boundedLength(int printed) {
    return std::clamp(printed, 0, kScreenLineSize - 1);
}

void formatMoney(char* out, size_t size, double money) {
    formatFixedPoint(out, size, money / kMoneyUnits, 2);
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

    const int nameLength = fieldLength(state.itemName, sizeof state.itemName);
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
                          fieldLength(state.unit, sizeof state.unit), state.unit, other));
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

int formatFixedPoint(char* out, size_t size, double value, int decimals) {
    if (size == 0) return 0;
    decimals = std::clamp(decimals, 0, 4);
    size_t used = 0;
    out[0] = '\0';
    if (std::signbit(value)) appendBounded(out, size, &used, "-", 1);
    const double magnitude = std::fabs(value);
    if (std::isnan(magnitude) || std::isinf(magnitude)) {
        appendBounded(out, size, &used, std::isnan(magnitude) ? "nan" : "inf", 3);
        return static_cast<int>(used);
    }
    char digits[400];
    const int count = roundedDigits(digits, sizeof digits, magnitude, decimals);
    const int whole = count - decimals;
    appendBounded(out, size, &used, digits, static_cast<size_t>(whole));
    if (decimals > 0) {
        appendBounded(out, size, &used, ".", 1);
        appendBounded(out, size, &used, digits + whole, static_cast<size_t>(decimals));
    }
    return static_cast<int>(used);
}

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
                                    fieldLength(state.code, sizeof state.code), state.code));

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
