// Prices as a shop writes them ("12.99", "1 299,00" or "6,49 zł" from a
// Polish spreadsheet) and as the price file holds them (a double of 1/10000
// units).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pricelist/messages.h"

// Prices are held as whole 1/10000 units in a double; beyond 2^53 units a
// double can no longer hold every such number exactly.
inline constexpr int64_t kLargestPriceUnits = int64_t{1} << 53;

// The decimals a price keeps: grosze, as the till charges them, or the four
// places a price file can hold.
inline constexpr int kGroszDecimals = 2;
inline constexpr int kPriceFileDecimals = 4;

// Reads a price in currency units ("12.99", "-0.5", "7", "6,49 zł") into
// 1/10000 units, keeping `decimalsKept` places and rounding the rest half
// away from zero from the written digits. `decimalMark` is "." or ","; the
// other one is refused rather than guessed, since "1.299" may mean 1299 to a
// spreadsheet. Whole units may be grouped by thousands with a blank or a
// no-break space ("1 299,00"); "zł" or "PLN" may stand before or after the
// number, and blanks around it. An exponent, NaN or infinity are refused.
// Returns 0 when read exactly, 1 when digits beyond the kept places were
// rounded away, or -1 with `problem` set ("{}" for the price's text).
int parsePrice(std::string_view text, double& units, FieldProblem& problem, char decimalMark = '.',
               int decimalsKept = kPriceFileDecimals);

// Formats 1/10000 units as currency units with at least two decimals and no
// trailing zeros beyond them ("12.99", "1.2345", "0.00"), with `decimalMark`
// and no thousands grouping; parsePrice reads the text back to the same
// value. Non-finite values come out as "nan", "inf" or "-inf".
std::string formatPrice(double units, char decimalMark = '.');
