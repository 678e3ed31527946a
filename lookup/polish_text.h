// The 18 Polish letters in the three code pages the program meets: names in
// the price file are Mazovia, names from the checker server are CP852, and
// the screen draws Windows-1250. Nothing but these letters is ever recoded.
#pragma once

#include <array>
#include <cstdint>

using LetterTable = std::array<unsigned char, 18>;

extern const LetterTable cp852Letters;
extern const LetterTable mazoviaLetters;
extern const LetterTable win1250Letters;

// Recodes the first `length` bytes of `text` in place, one pass, each byte
// looked up once. A length of 0 or below changes nothing. Returns `text`.
char* recodeText(char* text, int32_t length, const LetterTable& fromTable,
                 const LetterTable& toTable);

// Mazovia to Windows-1250 over `length` bytes. Returns `text`.
char* toDisplayText(char* text, int32_t length);
