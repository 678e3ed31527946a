// Prices as a shop writes them ("12.99", or "1 299,00" from a Polish
// spreadsheet) and as the price file holds them (a double of 1/10000 units).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Prices are held as whole 1/10000 units in a double; beyond 2^53 units a
// double can no longer hold every such number exactly.
inline constexpr int64_t kLargestPriceUnits = int64_t{1} << 53;

// Reads a price in currency units ("12.99", "-0.5", "7") into 1/10000 units,
// rounded half away from zero. `decimalMark` is "." or ","; the other one is
// refused rather than guessed, since "1.299" may mean 1299 to a spreadsheet.
// Whole units may be grouped by thousands with a blank or a no-break space
// ("1 299,00"). Blanks around the number are allowed; an exponent, NaN or
// infinity are not. Returns 0, or -1 with `problem` set.
int parsePrice(std::string_view text, double& units, std::string& problem, char decimalMark = '.');

// Formats 1/10000 units as currency units with at least two decimals and no
// trailing zeros beyond them ("12.99", "1.2345", "0.00"), with `decimalMark`
// and no thousands grouping; parsePrice reads the text back to the same
// value. Non-finite values come out as "nan", "inf" or "-inf".
std::string formatPrice(double units, char decimalMark = '.');
