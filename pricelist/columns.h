// The columns of a price list, found by the names its header row gives
// them, in the words shops type ("Kod kreskowy", "Cena brutto", "J.m.") and
// in any order, as a spreadsheet keeps them.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pricelist/csv.h"
#include "pricelist/messages.h"

enum PriceColumn {
    kCodeColumn,
    kNameColumn,
    kPriceColumn,
    kGross2Column,
    kNet1Column,
    kNet2Column,
    kUnitColumn,
    kPriceColumnCount
};

// The headers a dump writes: the plain CSV's and a Polish spreadsheet's.
inline constexpr const char* kPrchkCsvHeader = "code,name,price,gross2,net1,net2,unit";
inline constexpr const char* kSpreadsheetCsvHeader =
    "kod;nazwa;cena;brutto2;netto1;netto2;jednostka";

// A column named by hand on the command line (--column cena="Cena promocyjna").
struct NamedColumn {
    PriceColumn column;
    std::string header;
};

// The field a --column option names ("kod", "cena", "netto1", or the
// English "code", "price", "net1"), or -1.
int columnOfFieldName(std::string_view name);

// Which field of a row holds each column.
struct ColumnMap {
    std::array<int, kPriceColumnCount> field{};  // 0-based; -1 when the header lacks the column
    std::array<std::string, kPriceColumnCount> label;  // the header's name for it, for messages
    size_t fieldCount = 0;                             // fields in the header row
};

// How many of the code, name and price columns a row names: 3 for a header.
int requiredColumnsNamed(const CsvRow& row, const std::vector<NamedColumn>& named);

// Reads the header row. Names are compared without case, blanks, dots and
// brackets; a name given by hand wins over the words, a gross price
// ("Cena brutto", "Brutto") over a plain "Cena". Code, name and price are
// required, the other columns optional; a note lists the columns left out.
// Every problem is reported (a required column missing, two columns for one
// field, a column named by hand that is not there). Returns 0, or -1.
int mapColumns(const CsvRow& header, const std::vector<NamedColumn>& named, ColumnMap& columns,
               PrchkMessages& messages);

// The header is looked for in this many non-empty rows: a title, a shop's
// name and a date may stand above it.
inline constexpr int kHeaderSearchRows = 20;

// The error for a list in whose first rows no header was found: `best` is
// the row that named the most required columns, if any did; `lastLine` the
// last line looked at.
void reportNoHeader(const CsvRow* best, const std::vector<NamedColumn>& named, int lastLine,
                    PrchkMessages& messages);
