// Reading a shop's price list: a CSV file's bytes into price records, in the
// form the shop's own program or spreadsheet saved it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/price_file.h"
#include "pricelist/columns.h"
#include "pricelist/encodings.h"
#include "pricelist/messages.h"
#include "pricelist/records.h"
#include "pricelist/text_source.h"

// How a price list is written. What is left at Detect or 0 is found from the
// file: the encoding as scanPriceListBytes finds it; the header among the
// first rows, and the separator as the one that makes it a header; the
// decimal mark is "." after a "," separator (where a quoted "6,49" still
// reads as Polish), else ",".
struct CsvForm {
    TextEncoding encoding = TextEncoding::Detect;
    char separator = 0;
    char decimalMark = 0;
    std::vector<NamedColumn> namedColumns;  // columns named by hand
    // Prices keep up to four decimals, as a price file from a back-office
    // program may hold them, rather than being rounded to grosze.
    bool keepFourDecimals = false;
};

// A record's place in the order of codes: its code, its row, its index.
struct RecordKey {
    char code[sizeof(PriceRecord::code)];
    int32_t line;
    uint32_t index;
};

// A price list read into memory: the records in the order of the rows, and
// their keys sorted by code (then by row).
struct PriceTable {
    RecordStore records;
    std::vector<RecordKey> order;
};

// Reads a price list from `source`, finding what `form` leaves open and
// filling it in. Every problem is reported with its rows and column, like
// problems of many rows as one line. Returns 0, or -1 with the errors in
// `messages`.
int readPriceTable(ByteSource& source, CsvForm& form, PriceTable& table, PrchkMessages& messages);

// The same for bytes in memory, giving records sorted by code; `records` is
// empty after an error.
int readPriceList(std::string_view bytes, CsvForm& form, std::vector<PriceRecord>& records,
                  PrchkMessages& messages);

// "tekst UTF-8, pola rozdzielone „,”, znak dziesiętny „.”": how a list was
// read, for a user whose list did not read as meant.
std::string describeCsvForm(const CsvForm& form);
