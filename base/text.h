// Bounded text in fixed-size fields, and the ASCII character classes. Texts
// come from files, datagrams, dialogs and the settings record, any of which
// may hold a field without its zero byte: every copy and every length here is
// bounded by the field's width, never by a terminating zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

// The classes of plain ASCII, the same in every locale (a shop PC may run
// in any code page; a code's characters and a server address are ASCII).
constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool isAsciiDigitOrLetter(char c) {
    return isAsciiDigit(c) || isAsciiLetter(c);
}

constexpr char toAsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of a text in a field of `width` bytes that may lack its zero byte.
inline size_t fieldLength(const char* field, size_t width) {
    return strnlen(field, width);
}

// Copies at most `limit` bytes of `from` (fewer when it ends sooner) into the
// field `to`, cut to the field's room and always ended by a zero byte.
template <size_t N>
void copyText(char (&to)[N], const char* from, size_t limit = N - 1) {
    if (limit > N - 1) limit = N - 1;
    const size_t length = fieldLength(from, limit);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

// Appends up to `length` bytes of `text` to `out`, keeping the zero byte
// within `size`. `used` is the length of `out` so far and is updated.
inline void appendBounded(char* out, size_t size, size_t* used, const char* text, size_t length) {
    const size_t room = size - 1 - *used;
    const size_t taken = std::min(room, length);
    std::memcpy(out + *used, text, taken);
    *used += taken;
    out[*used] = '\0';
}
