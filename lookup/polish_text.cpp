// Recoding of the 18 Polish letters between the code pages the program meets.
#include "lookup/polish_text.h"

// Entry j of every table is the same letter: ą ć ę ł ń ó ś ź ż Ą Ć Ę Ł Ń Ó Ś Ź Ż.
const LetterTable cp852Letters = {0xA5, 0x86, 0xA9, 0x88, 0xE4, 0xA2, 0x98, 0xAB, 0xBE,
                                  0xA4, 0x8F, 0xA8, 0x9D, 0xE3, 0xE0, 0x97, 0x8D, 0xBD};
const LetterTable mazoviaLetters = {0x86, 0x8D, 0x91, 0x92, 0xA4, 0xA2, 0x9E, 0xA6, 0xA7,
                                    0x8F, 0x95, 0x90, 0x9C, 0xA5, 0xA3, 0x98, 0xA0, 0xA1};
const LetterTable win1250Letters = {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF,
                                    0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF};

// The pages overlap (0x86 is ć in CP852 but ą in Mazovia), so every byte is
// looked at exactly once and a replaced byte is never tested again.
char* recodeText(char* text, int32_t length, const LetterTable& fromTable,
                 const LetterTable& toTable) {
    for (int32_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        for (std::size_t j = 0; j < fromTable.size(); ++j) {
            if (fromTable[j] == b) {
                text[i] = static_cast<char>(toTable[j]);
                break;
            }
        }
    }
    return text;
}

char* toDisplayText(char* text, int32_t length) {
    return recodeText(text, length, mazoviaLetters, win1250Letters);
}
