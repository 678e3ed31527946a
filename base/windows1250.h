// The program's texts (its messages, the fields of setup.dat, the price
// file's path) are Windows-1250 bytes, what a Polish Windows uses. Windows'
// wide API takes UTF-16, and converting there explicitly, rather than
// letting the ANSI API read the bytes in the PC's own code page, makes an
// English or any other Windows show and open them as a Polish one does.
#pragma once

#include <cstddef>
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

// A text field of `width` bytes (setup.dat's, a record's) that may fill its
// whole width without a zero byte: only the bytes inside it are converted.
std::u16string windows1250FieldToUtf16(const char* field, size_t width);

// Stores `text` into a field of `width` bytes: converted, cut to width - 1
// bytes, the rest zeroed, so no bytes of an older, longer text stay behind.
void storeUtf16InWindows1250Field(std::u16string_view text, char* field, size_t width);

// The same for the wide API's own characters (16 bits wide on Windows).
inline std::wstring windows1250ToWide(std::string_view bytes) {
    const std::u16string text = windows1250ToUtf16(bytes);
    return std::wstring(text.begin(), text.end());
}
inline std::string wideToWindows1250(std::wstring_view text) {
    return utf16ToWindows1250(std::u16string(text.begin(), text.end()));
}
