// The one writer of decimal numbers: prices on the screen, in the checker
// simulator's replies and in the price-file tool's lists all read the same.
#pragma once

#include <cstddef>

// Writes `value` in fixed-point notation with `decimals` (0 to 4) places into
// `out` (`size` bytes, always zero-terminated, cut when too small). Halves
// round away from zero (0.125 gives 0.13, where the C library gives 0.12)
// and the separator is "." whatever the process locale, so a price reads the
// same on every till. Returns the bytes written.
int formatFixedPoint(char* out, size_t size, double value, int decimals);
