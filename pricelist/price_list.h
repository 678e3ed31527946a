// Reading a shop's price list: a CSV file's bytes into price records, in the
// form the shop's own program or spreadsheet saved it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lookup/price_file.h"
#include "pricelist/csv.h"
#include "pricelist/encodings.h"
#include "pricelist/messages.h"

// How a price list is written. What is left at Detect or 0 is found from the
// file: the encoding as csvBytesToUtf8 finds it (UTF-8 when the file is valid
// UTF-8, else Windows-1250); the separator is the first ";", "," or tab on
// the header line; the decimal mark is "." after a "," separator, else ",".
struct CsvForm {
    TextEncoding encoding = TextEncoding::Detect;
    char separator = 0;
    char decimalMark = 0;
};

// Turns the CSV rows (the header naming the columns first) into records
// sorted by code. Every problem found is reported with its line, and its
// column where it has one; returns 0 when there were none, -1 otherwise.
int buildRecords(const std::vector<CsvRow>& rows, std::vector<PriceRecord>& records,
                 PrchkMessages& messages, char decimalMark = '.');

// A CSV file's bytes into records sorted by code, finding what `form` leaves
// open and filling it in. Returns 0, or -1 with every problem in `messages`;
// `records` is then empty.
int readPriceList(std::string_view bytes, CsvForm& form, std::vector<PriceRecord>& records,
                  PrchkMessages& messages);

// "UTF-8 text, \",\" between fields, \".\" as the decimal mark": how a list
// was read, for a user whose list did not read as meant.
std::string describeCsvForm(const CsvForm& form);
