// Prices between text and 1/10000 units. Reading works on whole numbers
// only, never through a double, so "0.29" is 2900 units exactly and a
// rounding to grosze looks at the digits the shop wrote.
#include "pricelist/price_text.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/text.h"
#include "pricelist/encodings.h"

using prchk::formatText;

namespace {

bool isDigit(std::string_view text, size_t at) {
    return at < text.size() && isAsciiDigit(text[at]);
}

// Length of a thousands separator at `at`: a blank, or a no-break space as
// a Polish spreadsheet writes it (U+00A0 or U+202F, already in UTF-8 here).
size_t groupBlankAt(std::string_view text, size_t at) {
    if (at < text.size() && text[at] == ' ') return 1;
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("\xC2\xA0")) return 2;
    return rest.starts_with("\xE2\x80\xAF") ? 3 : 0;
}

// Reads the whole units' digits at `pos`, dropping thousands separators. A
// separator counts only between a digit and exactly three more, so "12 99"
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

// A cell formatted as currency saves "6,49 zł" when saved as shown; the
// mark says nothing the checker needs.
std::string_view withoutCurrency(std::string_view text) {
    constexpr std::array<std::string_view, 7> kMarks = {"zł",  "Zł",  "ZŁ", "zŁ",
                                                        "PLN", "pln", "Pln"};
    text = prchk::trimBlanks(text);
    for (std::string_view mark : kMarks) {
        if (text.size() > mark.size() && text.ends_with(mark)) {
            return prchk::trimBlanks(text.substr(0, text.size() - mark.size()));
        }
        if (text.size() > mark.size() && text.starts_with(mark)) {
            return prchk::trimBlanks(text.substr(mark.size()));
        }
    }
    return text;
}

// Why a price text is no number, saying what to write instead where the
// mistake is plain.
std::string whyNoNumber(std::string_view number, size_t stop, char decimalMark) {
    const char other = decimalMark == '.' ? ',' : '.';
    if (stop < number.size() && number[stop] == decimalMark && number.find(decimalMark) < stop) {
        return "cena {} ma dwa znaki dziesiętne; zostaw jeden";
    }
    if (number.find(other) != std::string_view::npos) {
        return decimalMark == ','
                   ? "cena {}: w tym pliku część dziesiętną oddziela przecinek (12,99), a tysiące "
                     "odstęp; popraw cenę albo podaj opcję --decimal ."
                   : "cena {}: w tym pliku część dziesiętną oddziela kropka (12.99), a tysiące "
                     "odstęp; popraw cenę albo podaj opcję --decimal ,";
    }
    return decimalMark == ','
               ? "{} to nie liczba; wpisz cenę cyframi, np. 12,99 (może mieć „zł” i odstępy "
                 "między tysiącami)"
               : "{} to nie liczba; wpisz cenę cyframi, np. 12.99 (może mieć „zł” i odstępy "
                 "między tysiącami)";
}

// Whole-unit digits and decimals into 1/10000 units, `kept` decimals kept
// and the next one rounding half away from zero. Returns -1 beyond
// kLargestPriceUnits.
int toUnits(std::string_view whole, std::string_view decimals, int kept, int64_t& units) {
    units = 0;
    for (char digit : whole) {
        units = units * 10 + (digit - '0');
        if (units > kLargestPriceUnits / 10000) return -1;
    }
    int64_t step = 1;
    for (int place = 0; place < kPriceFileDecimals; ++place) {
        const bool keptPlace = place < kept && static_cast<size_t>(place) < decimals.size();
        units = units * 10 + (keptPlace ? decimals[place] - '0' : 0);
        if (place >= kept) step *= 10;
    }
    if (decimals.size() > static_cast<size_t>(kept) && decimals[kept] >= '5') units += step;
    return units > kLargestPriceUnits ? -1 : 0;
}

}  // namespace

int parsePrice(std::string_view text, double& units, FieldProblem& problem, char decimalMark,
               int decimalsKept) {
    const std::string_view number = withoutCurrency(text);
    size_t pos = 0;
    const bool negative = !number.empty() && number[0] == '-';
    if (!number.empty() && (number[0] == '-' || number[0] == '+')) ++pos;
    std::string whole;
    std::string decimals;
    readWholeDigits(number, pos, whole);
    if (pos < number.size() && number[pos] == decimalMark) {
        for (++pos; isDigit(number, pos); ++pos) decimals += number[pos];
    }
    problem.value = prchk::quotedText(prchk::trimBlanks(text));
    if ((whole.empty() && decimals.empty()) || pos != number.size()) {
        problem.text = whyNoNumber(number, pos, decimalMark);
        return -1;
    }
    int64_t total = 0;
    if (toUnits(whole, decimals, decimalsKept, total) != 0) {
        problem.text = "{} to za duża liczba jak na cenę";
        return -1;
    }
    units = static_cast<double>(negative ? -total : total);
    const size_t cut = std::min(decimals.size(), static_cast<size_t>(decimalsKept));
    return decimals.find_first_not_of('0', cut) == std::string::npos ? 0 : 1;
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
