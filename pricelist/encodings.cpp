// A CSV file's bytes as text (UTF-8 or Windows-1250), the Mazovia page that
// names are stored in, and back out for a dump.
#include "pricelist/encodings.h"

#include <array>
#include <cstddef>

#include "lookup/polish_text.h"

using prchk::addLineError;
using prchk::formatText;

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

// The upper half of Windows-1250, what a Polish spreadsheet saves; 0 marks
// the five bytes the page leaves unused.
constexpr std::array<char32_t, 128> windows1250UpperHalf = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

// The Windows-1250 byte of a character of 0x80 or above, or 0 when the page
// has none.
unsigned char windows1250ByteOf(char32_t c) {
    for (size_t i = 0; i < windows1250UpperHalf.size(); ++i) {
        if (windows1250UpperHalf[i] == c) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

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

// Where the first byte that is not part of valid UTF-8 stands, or npos.
size_t findInvalidUtf8(std::string_view bytes) {
    size_t pos = 0;
    char32_t c = 0;
    while (pos < bytes.size()) {
        if (!decodeUtf8(bytes, pos, c)) return pos;
    }
    return std::string_view::npos;
}

// Whether valid UTF-8 text holds, beyond ASCII, only Polish letters and
// no-break spaces: the characters a price list needs.
bool holdsOnlyPriceListLetters(std::string_view utf8) {
    size_t pos = 0;
    char32_t c = 0;
    while (pos < utf8.size()) {
        if (!decodeUtf8(utf8, pos, c)) return false;
        if (c >= 0x80 && c != 0xA0 && mazoviaLetterOf(c) == 0) return false;
    }
    return true;
}

// The line `pos` stands on, counted as the CSV reader counts lines.
int lineAt(std::string_view bytes, size_t pos) {
    int line = 1;
    for (size_t i = 0; i < pos && i < bytes.size(); ++i) {
        const bool crlf = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
        if (bytes[i] == '\n' || (bytes[i] == '\r' && !crlf)) ++line;
    }
    return line;
}

// A workbook, a price file or UTF-16 text given by mistake: zero bytes
// appear in no CSV a shop would write.
int checkIsText(std::string_view bytes, PrchkMessages& messages) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        addLineError(messages, 1,
                     "the file is UTF-16 text; save the list as CSV in UTF-8 or Windows-1250");
        return -1;
    }
    const size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos) {
        addLineError(messages, lineAt(bytes, zero),
                     "a zero byte: this is no text file (a workbook or a price file?); save the "
                     "list as CSV");
        return -1;
    }
    return 0;
}

// Some pairs of Windows-1250 letters are valid UTF-8 as well ("ÓŻ" is the
// bytes D3 AF, a Cyrillic letter in UTF-8), so a short list can pass for
// UTF-8; when only its Windows-1250 reading gives Polish letters, that wins.
TextEncoding detectEncoding(std::string_view bytes) {
    if (findInvalidUtf8(bytes) != std::string_view::npos) return TextEncoding::Windows1250;
    if (holdsOnlyPriceListLetters(bytes)) return TextEncoding::Utf8;
    std::string asWindows1250;
    const bool pageFits = windows1250ToUtf8(bytes, asWindows1250) == std::string_view::npos;
    return pageFits && holdsOnlyPriceListLetters(asWindows1250) ? TextEncoding::Windows1250
                                                                : TextEncoding::Utf8;
}

}  // namespace

int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem) {
    mazovia.clear();
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        char32_t c = 0;
        if (!decodeUtf8(utf8, pos, c)) {
            problem = formatText("byte 0x%02X at position %zu is not valid UTF-8",
                                 static_cast<unsigned char>(utf8[start]), start + 1);
            return -1;
        }
        if (c >= 0x20 && c < 0x7F) {
            mazovia += static_cast<char>(c);
            continue;
        }
        if (c == '\r' || c == '\n') {
            problem =
                "a line break is not allowed: the checker breaks long names into lines itself";
            return -1;
        }
        if (c < 0x20 || c == 0x7F) {
            problem =
                formatText("control character 0x%02X is not allowed", static_cast<unsigned>(c));
            return -1;
        }
        const unsigned char letter = mazoviaLetterOf(c);
        if (letter == 0) {
            problem = formatText(
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

std::string mazoviaToWindows1250(std::string_view mazovia, size_t& missing) {
    std::string out;
    missing = 0;
    for (char c : mazovia) {
        const auto b = static_cast<unsigned char>(c);
        const unsigned char page = b < 0x80 ? b : windows1250ByteOf(mazoviaByteToUnicode(b));
        if (b >= 0x80 && page == 0) {
            out += '?';
            ++missing;
        } else {
            out += static_cast<char>(page);
        }
    }
    return out;
}

size_t windows1250ToUtf8(std::string_view bytes, std::string& utf8) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const char32_t c = b < 0x80 ? b : windows1250UpperHalf[b - 0x80];
        if (c == 0 && b != 0) return i;
        appendUtf8(utf8, c);
    }
    return std::string_view::npos;
}

int csvBytesToUtf8(std::string_view bytes, TextEncoding& encoding, std::string& utf8,
                   PrchkMessages& messages) {
    utf8.clear();
    if (checkIsText(bytes, messages) != 0) return -1;
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    if (encoding == TextEncoding::Detect) {
        encoding = bom ? TextEncoding::Utf8 : detectEncoding(bytes);
    }
    if (encoding == TextEncoding::Windows1250) {
        const size_t unused = windows1250ToUtf8(bytes, utf8);
        if (unused == std::string_view::npos) return 0;
        addLineError(messages, lineAt(bytes, unused),
                     formatText("byte 0x%02X is no character of Windows-1250",
                                static_cast<unsigned char>(bytes[unused])));
        return -1;
    }
    if (bom) bytes.remove_prefix(3);
    const size_t invalid = findInvalidUtf8(bytes);
    if (invalid == std::string_view::npos) {
        utf8.assign(bytes);
        return 0;
    }
    addLineError(messages, lineAt(bytes, invalid),
                 formatText("byte 0x%02X is not valid UTF-8 (is the file in Windows-1250?)",
                            static_cast<unsigned char>(bytes[invalid])));
    return -1;
}

namespace prchk {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace prchk
