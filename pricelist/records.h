// Price records as the price file holds them, and written back as CSV.
#pragma once

#include <bit>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "lookup/price_file.h"
#include "pricelist/messages.h"

static_assert(std::endian::native == std::endian::little,
              "PRCHK.DAT holds little-endian numbers; records are copied byte for byte");

// Longest texts a record holds; each field keeps one byte for its zero.
inline constexpr int kMaxRecordCodeLength = sizeof(PriceRecord::code) - 1;  // 16
inline constexpr int kMaxRecordNameLength = sizeof(PriceRecord::name) - 1;  // 120
inline constexpr int kMaxRecordUnitLength = sizeof(PriceRecord::unit) - 1;  // 17

// Records held in blocks rather than one array: a list of millions of rows
// needs hundreds of megabytes, which a 32-bit tool's address space has room
// for in many pieces, seldom in one.
inline constexpr size_t kRecordsPerBlock = 4096;  // 0.8 MB
struct RecordStore {
    std::vector<std::unique_ptr<PriceRecord[]>> blocks;
    size_t count = 0;
};

// A zeroed record added at the end; null when memory has run out.
PriceRecord* addRecord(RecordStore& store);

inline const PriceRecord& recordAt(const RecordStore& store, size_t index) {
    return store.blocks[index / kRecordsPerBlock][index % kRecordsPerBlock];
}

// Sorts records in the file's order: by code, as unsigned bytes.
void sortRecords(std::vector<PriceRecord>& records);

// The records as the bytes of a price file.
std::string serializeRecords(const std::vector<PriceRecord>& records);

// The CSV a dump writes. Plain: UTF-8, ",", "." and the English header, as
// back-office programs and scripts read it. Spreadsheet: Windows-1250, ";",
// "," and the Polish header, CR LF, as a Polish spreadsheet opens it.
enum class DumpForm { Plain, Spreadsheet };

// The records as CSV text (header first, no BOM). Fields that the CSV cannot
// carry back unchanged (a field without its zero byte, control characters, a
// price that is no finite number, a letter Windows-1250 lacks) are written as
// well as they can be, and a warning names the record.
std::string recordsToCsv(const std::vector<PriceRecord>& records, PrchkMessages& messages,
                         DumpForm form = DumpForm::Plain);
