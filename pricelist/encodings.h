// Text between the shop's CSV (UTF-8, Windows-1250 or UTF-16) and the price
// file (Mazovia code page).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pricelist/messages.h"

// How a CSV file's bytes are to be read; Detect finds out from the bytes.
// UTF-16 is only ever found, from its byte-order mark.
enum class TextEncoding { Detect, Utf8, Windows1250, Utf16 };

// The typographic characters a spreadsheet puts into names (its own
// quotes and dashes, a pasted "½"), each kind a bit: they are written in
// their plain forms, and the user is told once per kind.
enum PlainFormKind : unsigned {
    kPlainQuotes = 1u << 0,
    kPlainApostrophes = 1u << 1,
    kPlainDashes = 1u << 2,
    kPlainTimes = 1u << 3,
    kPlainFractions = 1u << 4,
    kPlainSuperscripts = 1u << 5,
    kPlainSpaces = 1u << 6,
    kPlainLineBreaks = 1u << 7,
    kPlainEllipsis = 1u << 8,
    kPlainFormKinds = 9
};

// What the user is told about one kind: which characters became which.
std::string_view plainFormNote(unsigned kind);

// Recodes UTF-8 text into the Mazovia page. Printable ASCII and the 18
// Polish letters pass; the typographic characters above become their plain
// forms ("„" and "”" a '"', "½" "1/2", a line break in a cell a blank), with
// their kinds added to `plainForms`. Anything else is refused: the checker
// recodes nothing else for the screen, so it would be drawn as a different
// character. Returns 0, or -1 with `problem` saying which character.
int utf8ToMazovia(std::string_view utf8, std::string& mazovia, FieldProblem& problem,
                  unsigned& plainForms);

// Recodes Mazovia bytes to UTF-8. Every byte has a character, so names from
// any back-office program come out readable.
std::string mazoviaToUtf8(std::string_view mazovia);

// Recodes Mazovia bytes to Windows-1250, the page a Polish spreadsheet
// reads. A character that page lacks (the line-drawing ones, Greek letters)
// becomes "?" and is counted in `missing`.
std::string mazoviaToWindows1250(std::string_view mazovia, size_t& missing);

// The Unicode character of a Mazovia byte of 0x80 or above.
char32_t mazoviaByteToUnicode(unsigned char byte);

// The character of a Windows-1250 byte; 0 for the five bytes the page
// leaves unused (0x81, 0x83, 0x88, 0x90, 0x98).
char32_t windows1250ByteToUnicode(unsigned char byte);

// Appends Windows-1250 text to `utf8`. Returns npos, or where the first
// unused byte stands; `utf8` then holds the text before it.
size_t windows1250ToUtf8(std::string_view bytes, std::string& utf8);

// Whether a character beyond ASCII belongs in a price list: a Polish letter,
// or one of the typographic characters written in plain form. A file whose
// other reading gives only these is read that way.
bool isPriceListCharacter(char32_t c);

namespace prchk {

// Decodes one UTF-8 character at `pos`, advancing it. Overlong forms,
// surrogates and cut-off sequences are refused: returns false.
bool decodeUtf8(std::string_view text, size_t& pos, char32_t& c);

// `text` without the blanks, tabs and no-break spaces around it.
std::string_view trimBlanks(std::string_view text);

}  // namespace prchk
