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
};

// Splits CSV text into rows of fields split by `separator`. Fields may be
// quoted; a quoted field may hold separators, line breaks and doubled
// quotes. A leading UTF-8 BOM is skipped and wholly empty lines are dropped.
// Returns 0, or -1 with an error naming the line (an unterminated quote,
// text after a closing quote).
int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages,
             char separator = ',');

// The separator of a CSV file: the first ";", "," or tab outside quotes on
// its first line, as the header row names its columns; "," when there is
// none.
char findCsvSeparator(std::string_view text);

// Writes one CSV field, quoted when it holds the separator, a quote, a line
// break or blanks at either end.
void appendCsvField(std::string& out, std::string_view field, char separator = ',');
