// Characters between the pages a price list meets: UTF-8 and Windows-1250
// from the shop, the Mazovia page that names are stored in, and back out
// for a dump.
#include "pricelist/encodings.h"

#include <array>
#include <cstddef>

#include "base/text.h"
#include "base/utf8.h"
#include "base/windows1250.h"
#include "lookup/polish_text.h"

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

// The Windows-1250 byte of a character of 0x80 or above, or 0 when the page
// has none (the page's table is the program's one, in base/).
unsigned char windows1250ByteOf(char32_t c) {
    if (c > 0xFFFF || (c >= 0x80 && c < 0xA0)) return 0;
    return ::windows1250ByteOf(static_cast<char16_t>(c));
}

// The Mazovia byte of a Polish letter, or 0 for any other character. The
// letters are those of the program's own table, the ones the screen recodes.
unsigned char mazoviaLetterOf(char32_t c) {
    for (unsigned char letter : mazoviaLetters) {
        if (mazoviaByteToUnicode(letter) == c) return letter;
    }
    return 0;
}

struct PlainForm {
    char32_t character;
    const char* plain;
    PlainFormKind kind;
};

// What a spreadsheet's autocorrection and pasted text put into names, and
// what the checker's screen can show for it.
constexpr std::array<PlainForm, 20> kPlainForms = {{
    {0x201E, "\"", kPlainQuotes},      {0x201D, "\"", kPlainQuotes},
    {0x201C, "\"", kPlainQuotes},      {0x00AB, "\"", kPlainQuotes},
    {0x00BB, "\"", kPlainQuotes},      {0x2018, "'", kPlainApostrophes},
    {0x2019, "'", kPlainApostrophes},  {0x201A, "'", kPlainApostrophes},
    {0x2013, "-", kPlainDashes},       {0x2014, "-", kPlainDashes},
    {0x2212, "-", kPlainDashes},       {0x00D7, "x", kPlainTimes},
    {0x00BD, "1/2", kPlainFractions},  {0x00BC, "1/4", kPlainFractions},
    {0x00BE, "3/4", kPlainFractions},  {0x00B2, "2", kPlainSuperscripts},
    {0x00B3, "3", kPlainSuperscripts}, {0x00A0, " ", kPlainSpaces},
    {0x202F, " ", kPlainSpaces},       {0x2026, "...", kPlainEllipsis},
}};

constexpr std::array<std::string_view, kPlainFormKinds> kPlainFormNotes = {{
    "cudzysłowy drukarskie („ ” “ « ») zapisano jako \"",
    "apostrofy drukarskie (‘ ’ ‚) zapisano jako '",
    "półpauzy, pauzy i minusy (– — −) zapisano jako -",
    "znak mnożenia × zapisano jako x",
    "ułamki ½ ¼ ¾ zapisano jako 1/2, 1/4 i 3/4",
    "indeksy górne ² ³ zapisano jako 2 i 3",
    "twarde spacje zapisano jako zwykłe",
    "podział wiersza w komórce (Alt+Enter) zapisano jako odstęp",
    "wielokropek … zapisano jako trzy kropki",
}};

const PlainForm* plainFormOf(char32_t c) {
    for (const PlainForm& form : kPlainForms) {
        if (form.character == c) return &form;
    }
    return nullptr;
}

// Appends a character's plain form; "1½" becomes "1 1/2", not "11/2".
void appendPlainForm(std::string& mazovia, const PlainForm& form) {
    if (form.kind == kPlainFractions && !mazovia.empty() && isAsciiDigit(mazovia.back())) {
        mazovia += ' ';
    }
    mazovia += form.plain;
}

// A line break inside a cell (Alt+Enter) at `pos`, CR LF counted as one:
// the checker breaks long names into lines itself. Returns its length.
size_t lineBreakAt(std::string_view text, size_t pos) {
    if (text[pos] == '\n') return 1;
    if (text[pos] != '\r') return 0;
    return pos + 1 < text.size() && text[pos + 1] == '\n' ? 2 : 1;
}

}  // namespace

std::string_view plainFormNote(unsigned kind) {
    for (size_t bit = 0; bit < kPlainFormNotes.size(); ++bit) {
        if (kind == (1u << bit)) return kPlainFormNotes[bit];
    }
    return {};
}

bool isPriceListCharacter(char32_t c) {
    return mazoviaLetterOf(c) != 0 || plainFormOf(c) != nullptr;
}

// A character of a name into `mazovia`: ASCII and the Polish letters as
// they are, the typographic ones in plain form. Returns false for any other.
bool appendNameCharacter(std::string& mazovia, char32_t c, unsigned& plainForms) {
    if (c >= 0x20 && c < 0x7F) {
        mazovia += static_cast<char>(c);
        return true;
    }
    if (const unsigned char letter = mazoviaLetterOf(c); letter != 0) {
        mazovia += static_cast<char>(letter);
        return true;
    }
    if (const PlainForm* form = plainFormOf(c); form != nullptr) {
        appendPlainForm(mazovia, *form);
        plainForms |= form->kind;
        return true;
    }
    return false;
}

int utf8ToMazovia(std::string_view utf8, std::string& mazovia, FieldProblem& problem,
                  unsigned& plainForms) {
    mazovia.clear();
    size_t pos = 0;
    while (pos < utf8.size()) {
        if (const size_t lineBreak = lineBreakAt(utf8, pos); lineBreak > 0) {
            mazovia += ' ';
            plainForms |= kPlainLineBreaks;
            pos += lineBreak;
            continue;
        }
        const size_t start = pos;
        char32_t c = 0;
        if (!prchk::decodeUtf8(utf8, pos, c)) {
            problem = {"bajt {} nie jest poprawnym znakiem UTF-8",
                       formatText("0x%02X", static_cast<unsigned char>(utf8[start]))};
            return -1;
        }
        if (appendNameCharacter(mazovia, c, plainForms)) continue;
        if (c < 0x20 || c == 0x7F) {
            problem = {"znak sterujący {} (np. tabulator) w tekście; usuń go z komórki",
                       formatText("0x%02X", static_cast<unsigned>(c))};
        } else {
            problem = {
                "znak {} nie jest polską literą ani znakiem ASCII i sprawdzarka go nie "
                "pokaże; zastąp go w arkuszu zwykłą literą",
                formatText("„%.*s” (U+%04X)", static_cast<int>(pos - start), utf8.data() + start,
                           static_cast<unsigned>(c))};
        }
        return -1;
    }
    return 0;
}

char32_t mazoviaByteToUnicode(unsigned char byte) {
    return byte < 0x80 ? byte : mazoviaUpperHalf[byte - 0x80];
}

// The five bytes the page leaves unused are no character a spreadsheet
// saves (Windows makes them control characters, which no list holds).
char32_t windows1250ByteToUnicode(unsigned char byte) {
    const char16_t c = windows1250ToUnicode(byte);
    return byte >= 0x80 && c < 0xA0 ? 0 : c;
}

std::string mazoviaToUtf8(std::string_view mazovia) {
    std::string out;
    for (char c : mazovia) {
        appendUtf8(out, mazoviaByteToUnicode(static_cast<unsigned char>(c)));
    }
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
        if (b < 0x80) {
            utf8 += static_cast<char>(b);
            continue;
        }
        const char32_t c = windows1250ByteToUnicode(b);
        if (c == 0) return i;
        appendUtf8(utf8, c);
    }
    return std::string_view::npos;
}

namespace prchk {

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

std::string_view trimBlanks(std::string_view text) {
    constexpr std::array<std::string_view, 4> kBlanks = {" ", "\t", "\xC2\xA0", "\xE2\x80\xAF"};
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (std::string_view blank : kBlanks) {
            while (text.starts_with(blank)) text.remove_prefix(blank.size()), trimmed = true;
            while (text.ends_with(blank)) text.remove_suffix(blank.size()), trimmed = true;
        }
    }
    return text;
}

}  // namespace prchk
