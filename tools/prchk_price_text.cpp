// Prices between text and 1/10000 units. Reading works on whole numbers
// only, never through a double, so "0.29" is 2900 units exactly.
#include "tools/prchk_price_text.h"

#include <cmath>

#include "tools/prchk_messages.h"
#include "tools/prchk_text.h"

using prchk::formatText;

int parsePrice(std::string_view text, double& units, std::string& problem) {
    const std::string_view number = prchk::trimBlanks(text);
    const std::string shown(number.substr(0, 40));
    size_t pos = 0;
    bool negative = false;
    if (pos < number.size() && (number[pos] == '-' || number[pos] == '+')) {
        negative = number[pos] == '-';
        ++pos;
    }
    auto isDigit = [&](size_t at) {
        return at < number.size() && number[at] >= '0' && number[at] <= '9';
    };
    int64_t whole = 0;
    bool tooLarge = false;
    int digits = 0;
    for (; isDigit(pos); ++pos, ++digits) {
        if (!tooLarge) whole = whole * 10 + (number[pos] - '0');
        tooLarge = tooLarge || whole > kLargestPriceUnits / 10000;
    }
    int64_t fraction = 0;  // the first four decimals, in 1/10000 units
    bool roundUp = false;  // the fifth decimal is 5 or more: half away from zero
    if (pos < number.size() && number[pos] == '.') {
        ++pos;
        for (int place = 0; place < 4; ++place) {
            fraction *= 10;
            if (isDigit(pos)) fraction += number[pos++] - '0', ++digits;
        }
        if (isDigit(pos)) roundUp = number[pos] >= '5';
        while (isDigit(pos)) ++pos, ++digits;
    }
    if (digits == 0 || pos != number.size()) {
        if (number.find(',') != std::string_view::npos) {
            problem = formatText("\"%s\" is no number: write the decimal point as \".\", not \",\"",
                                 shown.c_str());
        } else {
            problem = formatText("\"%s\" is no number", shown.c_str());
        }
        return -1;
    }
    const int64_t total = tooLarge ? 0 : whole * 10000 + fraction + (roundUp ? 1 : 0);
    if (tooLarge || total > kLargestPriceUnits) {
        problem = formatText("\"%s\" is too large", shown.c_str());
        return -1;
    }
    units = static_cast<double>(negative ? -total : total);
    return 0;
}

std::string formatPrice(double units) {
    if (std::isnan(units)) return "nan";
    if (std::isinf(units)) return units < 0 ? "-inf" : "inf";
    const double magnitude = std::fabs(units);
    const bool wholeUnits = magnitude == std::floor(magnitude);
    if (wholeUnits && magnitude <= static_cast<double>(kLargestPriceUnits)) {
        const auto whole = static_cast<int64_t>(magnitude);
        std::string text =
            formatText("%s%lld.%04lld", units < 0 ? "-" : "", static_cast<long long>(whole / 10000),
                       static_cast<long long>(whole % 10000));
        while (text.size() - text.find('.') > 3 && text.back() == '0') text.pop_back();
        return text;
    }
    // Only files from elsewhere hold fractions of 1/10000 or numbers this
    // large; show them as closely as the text allows.
    return formatText("%.6f", units / 10000.0);
}
