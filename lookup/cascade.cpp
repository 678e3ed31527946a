#include "lookup/cascade.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/decimal.h"
#include "base/text.h"
#include "lookup/in_store_codes.h"

namespace {

constexpr size_t kLongestCode = 16;

bool find(RecordFinder finder, const char* code, CodeLookup& result) {
    result.found = finder.find(finder.source, code, &result.record);
    return result.found;
}

// A weighed or priced label from the shop's own scales: the item code inside
// it is looked up, and the price comes from the embedded number.
void lookupInStoreCode(const char* code, RecordFinder finder, CodeLookup& result) {
    const int kind = classifyInStoreCode(code);
    if (kind == PlainCode) return;
    const InStoreParts parts = decodeInStoreCode(code);
    copyText(result.itemCode, parts.itemCode);
    if (kind == WeightCode) {
        result.weight = parts.quantity / 1000;  // grams on the label
        if (!find(finder, parts.itemCode, result)) return;
        // The till charges whole grosze: 0.225 kg at 2.20 zł is 0.50.
        result.price = roundToGrosze(result.record.price * result.weight);
        return;
    }
    result.price = parts.quantity * 100;  // grosze on the label, money in 1/10000
    find(finder, parts.itemCode, result);
}

}  // namespace

CodeLookup lookupCode(const char* code, RecordFinder finder) {
    CodeLookup result;
    const size_t length = strnlen(code, kLongestCode + 1);
    if (find(finder, code, result)) {
        result.price = result.record.price;
        return result;
    }
    if (length == 12 || length == 7) {
        char withZero[kLongestCode + 2];
        std::snprintf(withZero, sizeof withZero, "0%s", code);
        if (find(finder, withZero, result)) {
            result.price = result.record.price;
            return result;
        }
    }
    if (length >= 12) lookupInStoreCode(code, finder, result);
    return result;
}

bool lookupShowsItem(const CodeLookup& found) {
    const PriceRecord& record = found.record;
    return found.found && std::isfinite(found.price) && std::isfinite(record.price) &&
           std::isfinite(record.gross2) && std::isfinite(record.net1) && std::isfinite(record.net2);
}
