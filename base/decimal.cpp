#include "base/decimal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace {

// Writes the decimal digits of `number`, at least `minDigits` of them, into
// `digits` (room for 21 bytes). Returns the count.
int writeDigits(char* digits, uint64_t number, int minDigits) {
    char reversed[21];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 || count < minDigits);
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

// A magnitude lies exactly halfway between two printable values only when it
// is an odd multiple of 2^-(decimals+1); then `rounded` gets the value scaled
// by 10^decimals and rounded away from zero. The C library would round such
// a price to even (0.125 to 0.12), where the shop expects 0.13.
bool roundExactHalf(double magnitude, int decimals, uint64_t* rounded) {
    const double scaled = std::ldexp(magnitude, decimals + 1);  // exact
    if (!(scaled < 9007199254740992.0) || scaled != std::floor(scaled)) return false;
    const auto halves = static_cast<uint64_t>(scaled);
    if (halves % 2 == 0) return false;
    uint64_t fivePower = 1;
    for (int i = 0; i < decimals; ++i) fivePower *= 5;
    *rounded = (halves * fivePower + 1) / 2;
    return true;
}

// Amounts are doubles, and a price such as 1.005 is held as 1.00499999...:
// rounding that binary value gives 1.00 where the till, which works in
// decimal, charges 1.01. So the magnitude is first taken to whole
// ten-thousandths (the finest unit a price file or a scale's label holds)
// and only then rounded to `decimals` places, half away from zero, into
// `rounded` (the value scaled by 10^decimals). False when the magnitude is
// too large for whole ten-thousandths to be exact in a double.
bool roundFromTenThousandths(double magnitude, int decimals, uint64_t* rounded) {
    const double units = std::nearbyint(magnitude * kMoneyUnitsPerCurrencyUnit);
    if (!(units < 9007199254740992.0)) return false;  // 2^53
    uint64_t divisor = 1;
    for (int i = decimals; i < 4; ++i) divisor *= 10;
    *rounded = (static_cast<uint64_t>(units) + divisor / 2) / divisor;
    return true;
}

// Digits of `magnitude` rounded to `decimals` places, without sign and
// separator. Amounts too large for whole ten-thousandths go through the C
// library, whose rounding is exact apart from exact binary halves; only its
// digits are kept, so whatever separator the locale prints drops out.
int roundedDigits(char* digits, size_t size, double magnitude, int decimals) {
    uint64_t rounded = 0;
    if (roundFromTenThousandths(magnitude, decimals, &rounded) ||
        roundExactHalf(magnitude, decimals, &rounded)) {
        return writeDigits(digits, rounded, decimals + 1);
    }
    char printed[400];  // the largest double has 309 integer digits
    std::snprintf(printed, sizeof printed, "%.*f", decimals, magnitude);
    int count = 0;
    for (const char* p = printed; *p != '\0' && static_cast<size_t>(count) < size; ++p) {
        if (isAsciiDigit(*p)) digits[count++] = *p;
    }
    return count;
}

}  // namespace

int formatFixedPoint(char* out, size_t size, double value, int decimals) {
    if (size == 0) return 0;
    decimals = std::clamp(decimals, 0, 4);
    size_t used = 0;
    out[0] = '\0';
    if (std::signbit(value)) appendBounded(out, size, &used, "-", 1);
    const double magnitude = std::fabs(value);
    if (std::isnan(magnitude) || std::isinf(magnitude)) {
        appendBounded(out, size, &used, std::isnan(magnitude) ? "nan" : "inf", 3);
        return static_cast<int>(used);
    }
    char digits[400];
    const int count = roundedDigits(digits, sizeof digits, magnitude, decimals);
    const int whole = count - decimals;
    appendBounded(out, size, &used, digits, static_cast<size_t>(whole));
    if (decimals > 0) {
        appendBounded(out, size, &used, ".", 1);
        appendBounded(out, size, &used, digits + whole, static_cast<size_t>(decimals));
    }
    return static_cast<int>(used);
}

double roundToGrosze(double moneyUnits) {
    if (!std::isfinite(moneyUnits)) return moneyUnits;
    const double units = std::nearbyint(std::fabs(moneyUnits));
    if (!(units < 9007199254740992.0)) return moneyUnits;
    const double grosze = std::floor((units + 50) / 100);  // exact: both are whole
    return std::copysign(grosze * 100, moneyUnits);
}
