// The one writer of decimal numbers: prices on the screen, in the checker
// server's replies and in the price-file tool's lists all read the same.
#pragma once

#include <cstddef>

// Money is held in ten-thousandths of a złoty (12.34 zł as 123400).
inline constexpr double kMoneyUnitsPerCurrencyUnit = 10000.0;

// Writes `value` in fixed-point notation with `decimals` (0 to 4) places into
// `out` (`size` bytes, always zero-terminated, cut when too small). The value
// is rounded as a till rounds it: to whole ten-thousandths first, then half
// away from zero from that decimal value (1.005 gives 1.01 and 0.125 gives
// 0.13, where the C library gives 1.00 and 0.12). The separator is "."
// whatever the process locale, so a price reads the same on every till.
// Returns the bytes written.
int formatFixedPoint(char* out, size_t size, double value, int decimals);

// An amount in ten-thousandths rounded to whole grosze as the till charges
// it: to whole ten-thousandths, then half away from zero (4950 gives 5000,
// -4950 gives -5000). A weighed item's price is rounded so when it is
// computed, so the running total adds what the till adds.
double roundToGrosze(double moneyUnits);
