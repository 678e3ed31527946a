// Text between the shop's CSV (UTF-8 or Windows-1250) and the price file
// (Mazovia code page).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pricelist/messages.h"

// How a CSV file's bytes are to be read; Detect finds out from the bytes.
enum class TextEncoding { Detect, Utf8, Windows1250 };

// Recodes UTF-8 text into the Mazovia page. Only printable ASCII and the 18
// Polish letters are accepted: the checker recodes nothing else for the
// screen, so any other letter would be drawn as a different character.
// Returns 0, or -1 with `problem` saying which character was refused.
int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem);

// Recodes Mazovia bytes to UTF-8. Every byte has a character, so names from
// any back-office program come out readable.
std::string mazoviaToUtf8(std::string_view mazovia);

// Recodes Mazovia bytes to Windows-1250, the page a Polish spreadsheet
// reads. A character that page lacks (the line-drawing ones, Greek letters)
// becomes "?" and is counted in `missing`.
std::string mazoviaToWindows1250(std::string_view mazovia, size_t& missing);

// The Unicode character of a Mazovia byte of 0x80 or above.
char32_t mazoviaByteToUnicode(unsigned char byte);

// Appends Windows-1250 text to `utf8`. Returns npos, or where the first
// byte stands that the page leaves unused (0x81, 0x83, 0x88, 0x90, 0x98);
// `utf8` then holds the text before it.
size_t windows1250ToUtf8(std::string_view bytes, std::string& utf8);

// A CSV file's bytes as UTF-8 text, read in `encoding`; Detect becomes
// what was found: UTF-8 after a UTF-8 BOM (which is dropped) or when the
// bytes are valid UTF-8, else Windows-1250 (also when only the Windows-1250
// reading of valid UTF-8 gives Polish letters, as "NÓŻ" does). Returns 0, or
// -1 with an error naming the line, for a file that is no text (a zero byte,
// UTF-16) or a byte the encoding has no character for.
int csvBytesToUtf8(std::string_view bytes, TextEncoding& encoding, std::string& utf8,
                   PrchkMessages& messages);

namespace prchk {

// `text` without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);

}  // namespace prchk
