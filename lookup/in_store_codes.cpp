// In-store codes printed by the shop's scales and labellers: an EAN-13 whose
// first two digits are a prefix set in the configuration, followed by the
// item code and the weight (in grams) or the value (in grosze).
#include "lookup/in_store_codes.h"

#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "settings/settings.h"

namespace {

// Prefix slots are two characters and a zero; a slot is compared as at most
// two characters with its zero byte, so "2" never matches "21...".
bool matchesAnyPrefix(const char* code, const char (&slots)[kPrefixSlots][kPrefixSlotSize]) {
    for (const auto& slot : slots) {
        if (slot[0] != '\0' && std::strncmp(code, slot, 2) == 0) return true;
    }
    return false;
}

}  // namespace

// The GS1 mod-10 digit of EAN-13, EAN-8 and UPC: counting from the right of
// the data, digits alternate weight 3 and 1. `text` holds `length`
// characters and its terminating zero.
char* computeCheckDigit(char* text, int length) {
    if (length < 3) {
        text[0] = '\0';
        return text;
    }
    const int dataLength = length - 1;
    int a = 0;
    int b = 0;
    for (int i = dataLength - 1, weightThree = 1; i >= 0; --i, weightThree ^= 1) {
        if (!isAsciiDigit(text[i])) text[i] = '0';
        const int digit = text[i] - '0';
        if (weightThree) {
            b += digit;
        } else {
            a += digit;
        }
    }
    const int check = (10 - (a + 3 * b) % 10) % 10;
    text[dataLength] = static_cast<char>('0' + check);
    text[length] = '\0';
    return text;
}

int checkEanCode(const char* code) {
    const size_t length = strnlen(code, 14);
    if (length != 13 && length != 8) return 2;
    char copy[14] = {};
    std::memcpy(copy, code, length);
    computeCheckDigit(copy, static_cast<int>(length));
    return std::strcmp(copy, code) == 0 ? 1 : 0;
}

// Value prefixes are tried first, so a prefix entered in both lists makes
// value codes.
int classifyInStoreCode(const char* code) {
    if (checkEanCode(code) != 1) return PlainCode;
    if (matchesAnyPrefix(code, settings.valuePrefixes)) return ValueCode;
    if (matchesAnyPrefix(code, settings.weightPrefixes)) return WeightCode;
    return PlainCode;
}

// The digits from position 7 up to the check digit are the quantity; the
// item code is the first 7 characters, or 6 for scales that keep position 6
// for something of their own.
InStoreParts decodeInStoreCode(const char* code) {
    InStoreParts parts = {};
    char copy[kMaxCheckDigitText + 1] = {};
    size_t length = strnlen(code, kMaxCheckDigitText);
    std::memcpy(copy, code, length);
    if (length > 0) copy[--length] = '\0';

    if (length > 7) parts.quantity = std::strtod(copy + 7, nullptr);
    const size_t itemLength = settings.shortItemCode != 0 ? 6 : 7;
    std::memcpy(parts.itemCode, copy, length < itemLength ? length : itemLength);
    return parts;
}
