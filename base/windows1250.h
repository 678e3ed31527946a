// The program's texts (its messages, the fields of setup.dat, the price
// file's path) are Windows-1250 bytes, what a Polish Windows uses. Windows'
// wide API takes UTF-16, and converting there explicitly, rather than
// letting the ANSI API read the bytes in the PC's own code page, makes an
// English or any other Windows show and open them as a Polish one does.
#pragma once

#include <string>
#include <string_view>

// The character a Windows-1250 byte stands for. The five bytes the page
// leaves unused (0x81, 0x83, 0x88, 0x90, 0x98) stand for the control
// characters of the same number, as Windows converts them.
char16_t windows1250ToUnicode(unsigned char byte);

// The Windows-1250 byte of a character, or 0 when the page has none (and for
// the zero character itself).
unsigned char windows1250ByteOf(char16_t character);

// Converts up to the first zero byte of `bytes`.
std::u16string windows1250ToUtf16(std::string_view bytes);

// Converts up to the first zero character of `text`; a character the page
// cannot hold becomes "?", as on a Polish Windows.
std::string utf16ToWindows1250(std::u16string_view text);
