// In-store EAN-13 codes that carry a weight or a value, printed by the
// shop's scales and labellers, and the GS1 check digit.
#pragma once

enum CodeKind { PlainCode = 0, WeightCode = 1, ValueCode = 2 };

inline constexpr int kMaxCheckDigitText = 255;

// Replaces the last of `length` characters by the GS1 check digit of the
// others (non-digits count as 0 and are rewritten as "0"); a text shorter
// than 3 becomes empty. Returns `text`. `length` is at most 255.
char* computeCheckDigit(char* text, int length);

// 1: an EAN-13 or EAN-8 code with a correct check digit; 0: 13 or 8
// characters but not such a code; 2: any other length.
int checkEanCode(const char* code);

// PlainCode, WeightCode or ValueCode by the prefixes in settings.
int classifyInStoreCode(const char* code);

struct InStoreParts {
    char itemCode[8];  // first 7 (or 6) characters
    double quantity;   // the number from position 7 on
};

InStoreParts decodeInStoreCode(const char* code);
