// How a scanned code is found: the code as it stands, then with a zero in
// front (a UPC-A read as 12 digits is stored as its EAN-13, a 7-character
// item code as 8), then as an in-store weight or value code by its item
// code. The checker in standalone mode runs it over PRCHK.DAT; the checker
// server runs the same steps over its list in memory, so both answer a code
// alike.
#pragma once

#include "lookup/price_file.h"

// Where the steps find a record by its exact code: copies it into `record`
// and returns true, or returns false when `source` holds no such code.
struct RecordFinder {
    bool (*find)(const void* source, const char* code, PriceRecord* record);
    const void* source;
};

struct CodeLookup {
    bool found = false;
    PriceRecord record{};   // the record found
    double price = 0;       // the price to show: the record's own, or computed
    double weight = 0;      // kilograms from a weight code, found or not; else 0
    char itemCode[8] = {};  // the item code inside an in-store code; else empty
};

// Runs the steps for `code` (at most 16 characters) with the in-store
// prefixes and item-code width of the settings record. A weighed item's price is rounded to grosze
// as the till charges it; a code found as it stands keeps its record's price even when it looks
// like an in-store code.
CodeLookup lookupCode(const char* code, RecordFinder finder);

// Whether the checker shows what the steps found: a record damaged on the
// way from the back office (a price that is no number) or a computed price
// that is no number shows as an unknown item, since showing it would put
// "nan" on the screen and spoil the total.
bool lookupShowsItem(const CodeLookup& found);
