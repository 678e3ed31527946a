// CSV as shops and spreadsheets write it: fields split by a separator (a
// comma, or the semicolon of a Polish spreadsheet, or a tab), quoted when
// they hold the separator, quotes or line breaks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pricelist/messages.h"

// One row of a CSV file, with the line on which it starts (1-based).
struct CsvRow {
    int line = 0;
    std::vector<std::string> fields;
    std::vector<bool> quoted;  // whether each field stood in quotes
};

// Where a reader stands in CSV text that may arrive a piece at a time.
struct CsvCursor {
    std::string_view text;
    char separator = ',';
    size_t pos = 0;
    int line = 1;
    bool final = true;  // no text follows `text`
};

// Reads the row at the cursor and the line break that ends it, reusing the
// row's fields. A quoted field may hold separators, line breaks and doubled
// quotes. Returns 1 for a row; 0 when the text ends before a row does (at
// the final end there is none; otherwise the cursor stays where it was, to
// try again with more text); -1 with an error naming the line (a quote
// never closed, text after a closing quote).
int readCsvRow(CsvCursor& in, CsvRow& row, PrchkMessages& messages);

// Whether a row holds nothing but blanks: an empty line, or a row of bare
// separators that a spreadsheet writes for cells formatted below a list.
bool isBlankRow(const CsvRow& row);

// Splits CSV text into rows of fields split by `separator`, as readCsvRow
// reads them. A leading UTF-8 BOM is skipped and wholly empty lines are
// dropped. Returns 0, or -1 with an error naming the line.
int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages,
             char separator = ',');

// The separators a price list may use, the first of them outside quotes on
// `line` first: where a header stands, that is the one it was written with.
std::string separatorsToTry(std::string_view line);

// Writes one CSV field, quoted when it holds the separator, a quote, a line
// break or blanks at either end.
void appendCsvField(std::string& out, std::string_view field, char separator = ',');
