// Files the prchk tool reads and writes: CSV price lists and price files.
// A price file is only ever replaced whole, so a checker never reads one
// half written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/cleanup.h"
#include "lookup/price_file.h"
#include "pricelist/messages.h"
#include "pricelist/price_list.h"
#include "pricelist/records.h"

// Opens a file for binary reading; when it cannot be opened, the guard holds
// nothing and an error names the file.
Owned<std::FILE*> openForReading(const std::string& path, PrchkMessages& messages);

// Reads a whole file. Returns 0, or -1 with an error.
int readWholeFile(const std::string& path, std::string& bytes, PrchkMessages& messages);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path` only when everything was written, so a failed write never leaves a
// half-written price file where a checker could read it.
int writeFileReplacing(const std::string& path, std::string_view bytes, PrchkMessages& messages);

// Reads the whole records of a price file; `trailingBytes` gets the bytes of
// an incomplete last record. Returns 0, or -1 with an error.
int readPriceFile(const std::string& path, std::vector<PriceRecord>& records,
                  int64_t& trailingBytes, PrchkMessages& messages);

// CSV file in, price file out. Writes nothing unless the whole list is sound.
// `form` says how the CSV is written where the user said so; the rest is
// found from the file and filled in. Returns 0 when written, 1 when the CSV
// has errors, -1 when a file cannot be read or written. `recordCount` gets
// the number of records written.
int buildPriceFile(const std::string& csvPath, const std::string& outPath, CsvForm& form,
                   size_t& recordCount, PrchkMessages& messages);

// Price file in, CSV out: the plain form as UTF-8 with a BOM, so spreadsheets
// read the Polish letters too, or the spreadsheet form. Returns 0, or -1 when
// the file cannot be read or written. `recordCount` gets the number of
// records written.
int dumpPriceFile(const std::string& datPath, const std::string& csvPath, DumpForm form,
                  size_t& recordCount, PrchkMessages& messages);
