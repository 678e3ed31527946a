// Prices between text and 1/10000 units. Reading works on whole numbers
// only, never through a double, so "0.29" is 2900 units exactly.
#include "pricelist/price_text.h"

#include <cmath>

#include "base/text.h"
#include "pricelist/encodings.h"
#include "pricelist/messages.h"

using prchk::formatText;

namespace {

bool isDigit(std::string_view text, size_t at) {
    return at < text.size() && isAsciiDigit(text[at]);
}

// Length of a thousands separator at `at`: a blank, or a no-break space as
// a Polish spreadsheet writes it (U+00A0, already in UTF-8 here).
size_t groupBlankAt(std::string_view text, size_t at) {
    if (at < text.size() && text[at] == ' ') return 1;
    return text.substr(at).starts_with("\xC2\xA0") ? 2 : 0;
}

// Reads the whole units' digits at `pos`, dropping thousands separators. A
// separator counts only between a digit and exactly three more, so "12 zl"
// or "1 2999" stay unread and are refused by the caller.
void readWholeDigits(std::string_view text, size_t& pos, std::string& digits) {
    for (;;) {
        while (isDigit(text, pos)) digits += text[pos++];
        const size_t blank = groupBlankAt(text, pos);
        if (blank == 0 || digits.empty()) return;
        size_t group = 0;
        while (isDigit(text, pos + blank + group)) ++group;
        if (group != 3) return;
        pos += blank;
    }
}

// Why a price text is no number, saying what to write instead where the
// mistake is plain.
std::string whyNoNumber(std::string_view number, size_t stop, char decimalMark) {
    const std::string shown(number.substr(0, 40));
    const char other = decimalMark == '.' ? ',' : '.';
    if (stop < number.size() && number[stop] == decimalMark && number.find(decimalMark) < stop) {
        return formatText("\"%s\" has two decimal marks", shown.c_str());
    }
    if (number.find(other) != std::string_view::npos) {
        return formatText("\"%s\" is no number: write the decimal %s as \"%c\", not \"%c\"",
                          shown.c_str(), decimalMark == '.' ? "point" : "comma", decimalMark,
                          other);
    }
    return formatText("\"%s\" is no number", shown.c_str());
}

// Whole-unit digits and decimals into 1/10000 units: four decimals kept, the
// fifth rounds half away from zero. Returns -1 beyond kLargestPriceUnits.
int toUnits(std::string_view whole, std::string_view decimals, int64_t& units) {
    units = 0;
    for (char digit : whole) {
        units = units * 10 + (digit - '0');
        if (units > kLargestPriceUnits / 10000) return -1;
    }
    for (size_t place = 0; place < 4; ++place) {
        units = units * 10 + (place < decimals.size() ? decimals[place] - '0' : 0);
    }
    if (decimals.size() > 4 && decimals[4] >= '5') ++units;
    return units > kLargestPriceUnits ? -1 : 0;
}

}  // namespace

int parsePrice(std::string_view text, double& units, std::string& problem, char decimalMark) {
    const std::string_view number = prchk::trimBlanks(text);
    size_t pos = 0;
    const bool negative = !number.empty() && number[0] == '-';
    if (!number.empty() && (number[0] == '-' || number[0] == '+')) ++pos;
    std::string whole;
    std::string decimals;
    readWholeDigits(number, pos, whole);
    if (pos < number.size() && number[pos] == decimalMark) {
        for (++pos; isDigit(number, pos); ++pos) decimals += number[pos];
    }
    if ((whole.empty() && decimals.empty()) || pos != number.size()) {
        problem = whyNoNumber(number, pos, decimalMark);
        return -1;
    }
    int64_t total = 0;
    if (toUnits(whole, decimals, total) != 0) {
        problem = formatText("\"%s\" is too large", std::string(number.substr(0, 40)).c_str());
        return -1;
    }
    units = static_cast<double>(negative ? -total : total);
    return 0;
}

// The screen's writer (base/decimal.h) divides by 10000 in a double first;
// a price list must read back to the very units it was written from, up to
// the largest, so whole units are written with whole-number arithmetic here.
std::string formatPrice(double units, char decimalMark) {
    if (std::isnan(units)) return "nan";
    if (std::isinf(units)) return units < 0 ? "-inf" : "inf";
    const double magnitude = std::fabs(units);
    const bool wholeUnits = magnitude == std::floor(magnitude);
    std::string text;
    if (wholeUnits && magnitude <= static_cast<double>(kLargestPriceUnits)) {
        const auto whole = static_cast<int64_t>(magnitude);
        text =
            formatText("%s%lld.%04lld", units < 0 ? "-" : "", static_cast<long long>(whole / 10000),
                       static_cast<long long>(whole % 10000));
        while (text.size() - text.find('.') > 3 && text.back() == '0') text.pop_back();
    } else {
        // Only files from elsewhere hold fractions of 1/10000 or numbers this
        // large; show them as closely as the text allows.
        text = formatText("%.6f", units / 10000.0);
    }
    text[text.find('.')] = decimalMark;
    return text;
}
