// UTF-8 in and out, and the Mazovia page that names are stored in.
#include "tools/prchk_text.h"

#include <array>
#include <cstddef>

#include "lookup/polish_text.h"
#include "tools/prchk_messages.h"

namespace {

// The upper half of the Mazovia page: the PC's original page with the
// Polish letters in place of some of its accented letters and symbols.
constexpr std::array<char32_t, 128> mazoviaUpperHalf = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,  // 88
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,  // 90
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,  // 98
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one character at `pos`, advancing it. Overlong forms, surrogates
// and cut-off sequences are refused: returns false.
bool decodeUtf8(std::string_view text, size_t& pos, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    int extra = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F, extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F, extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07, extra = 3, minimum = 0x10000;
    } else {
        return false;
    }
    if (text.size() - pos <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if ((next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    pos += extra + 1;
    return true;
}

// The Mazovia byte of a Polish letter, or 0 for any other character. The
// letters are those of the program's own table, the ones the screen recodes.
unsigned char mazoviaLetterOf(char32_t c) {
    for (unsigned char letter : mazoviaLetters) {
        if (mazoviaByteToUnicode(letter) == c) return letter;
    }
    return 0;
}

}  // namespace

int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem) {
    mazovia.clear();
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        char32_t c = 0;
        if (!decodeUtf8(utf8, pos, c)) {
            problem = prchk::formatText("byte 0x%02X at position %zu is not valid UTF-8",
                                        static_cast<unsigned char>(utf8[start]), start + 1);
            return -1;
        }
        if (c >= 0x20 && c < 0x7F) {
            mazovia += static_cast<char>(c);
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            problem = prchk::formatText("control character 0x%02X is not allowed",
                                        static_cast<unsigned>(c));
            return -1;
        }
        const unsigned char letter = mazoviaLetterOf(c);
        if (letter == 0) {
            problem = prchk::formatText(
                "\"%.*s\" (U+%04X) is neither ASCII nor a Polish letter; the price checker "
                "cannot show it",
                static_cast<int>(pos - start), utf8.data() + start, static_cast<unsigned>(c));
            return -1;
        }
        mazovia += static_cast<char>(letter);
    }
    return 0;
}

char32_t mazoviaByteToUnicode(unsigned char byte) {
    return byte < 0x80 ? byte : mazoviaUpperHalf[byte - 0x80];
}

std::string mazoviaToUtf8(std::string_view mazovia) {
    std::string out;
    for (char c : mazovia) appendUtf8(out, mazoviaByteToUnicode(static_cast<unsigned char>(c)));
    return out;
}

namespace prchk {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace prchk
