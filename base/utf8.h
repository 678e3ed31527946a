// UTF-8, the text of consoles redirected to files, of the settings tool's
// output and of the price-list tool's CSV files.
#pragma once

#include <string>
#include <string_view>

// Appends the UTF-8 bytes of one character.
void appendUtf8(std::string& out, char32_t c);

// UTF-16 text as UTF-8; a lone half of a surrogate pair becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
