// The columns of a price list, found by the names its header row gives
// them, in Polish or English and in any order, as a spreadsheet keeps them.
#pragma once

#include <array>
#include <string>

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

// Which field of a row holds each column.
struct ColumnMap {
    std::array<int, kPriceColumnCount> field{};  // 0-based; -1 when the header lacks the column
    std::array<std::string, kPriceColumnCount> label;  // the header's name for it, for messages
    size_t fieldCount = 0;                             // fields in the header row
};

// Reads the header row: names compared without case and surrounding blanks;
// code, name and price are required, the other columns optional, columns of
// other names ignored. Every problem is reported (a required column
// missing, a column named twice). Returns 0, or -1.
int mapColumns(const CsvRow& header, ColumnMap& columns, PrchkMessages& messages);
