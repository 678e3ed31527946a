// Price records: read from the rows of a shop's CSV price list, kept in the
// file's order, and written back as CSV.
#pragma once

#include <bit>
#include <cstddef>
#include <string>
#include <vector>

#include "lookup/price_file.h"
#include "tools/prchk_csv.h"
#include "tools/prchk_messages.h"

static_assert(std::endian::native == std::endian::little,
              "PRCHK.DAT holds little-endian numbers; records are copied byte for byte");

inline constexpr const char* kPrchkCsvHeader = "code,name,price,gross2,net1,net2,unit";
inline constexpr int kPrchkCsvColumns = 7;

// Longest texts a record holds; each field keeps one byte for its zero.
inline constexpr int kMaxRecordCodeLength = sizeof(PriceRecord::code) - 1;  // 16
inline constexpr int kMaxRecordNameLength = sizeof(PriceRecord::name) - 1;  // 120
inline constexpr int kMaxRecordUnitLength = sizeof(PriceRecord::unit) - 1;  // 17

// The checker keeps the first 13 characters of what was typed or scanned and
// shows the first 5 characters of a unit.
inline constexpr int kLongestEnteredCode = 13;
inline constexpr int kShownUnitLength = 5;

namespace prchk {

// Compares two code fields as unsigned bytes up to the zero byte, never
// reading beyond the 17 bytes of the field. Negative, zero or positive.
int compareCodes(const char* a, const char* b);

// Length of a text field up to its zero byte, at most `width`.
size_t fieldLength(const char* field, size_t width);

}  // namespace prchk

// Turns the CSV rows (header included) into records sorted by code. Every
// problem found is reported, each with its line; returns 0 when there were
// none, -1 otherwise.
int buildRecords(const std::vector<CsvRow>& rows, std::vector<PriceRecord>& records,
                 PrchkMessages& messages);

// Sorts records in the file's order: by code, as unsigned bytes.
void sortRecords(std::vector<PriceRecord>& records);

// The records as the bytes of a price file.
std::string serializeRecords(const std::vector<PriceRecord>& records);

// The records as CSV text (header first, no BOM). Fields that the CSV cannot
// carry back unchanged (a field without its zero byte, control characters, a
// price that is no finite number) are written as well as they can be, and a
// warning names the record.
std::string recordsToCsv(const std::vector<PriceRecord>& records, PrchkMessages& messages);
