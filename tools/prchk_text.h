// Text between the shop's CSV (UTF-8) and the price file (Mazovia code page).
#pragma once

#include <string>
#include <string_view>

// Recodes UTF-8 text into the Mazovia page. Only printable ASCII and the 18
// Polish letters are accepted: the checker recodes nothing else for the
// screen, so any other letter would be drawn as a different character.
// Returns 0, or -1 with `problem` saying which character was refused.
int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem);

// Recodes Mazovia bytes to UTF-8. Every byte has a character, so names from
// any back-office program come out readable.
std::string mazoviaToUtf8(std::string_view mazovia);

// The Unicode character of a Mazovia byte of 0x80 or above.
char32_t mazoviaByteToUnicode(unsigned char byte);

namespace prchk {

// `text` without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);

}  // namespace prchk
