// The work behind the prchk tool: turning a shop's CSV price list into a
// PRCHK.DAT the price checker can search, turning a PRCHK.DAT back into CSV,
// and checking a PRCHK.DAT from any source before it goes onto a checker.
//
// The CSV is UTF-8 text (a BOM is allowed) whose first line is the header
//     code,name,price,gross2,net1,net2,unit
// Prices are in currency units with a decimal point ("12.99") and are stored
// multiplied by 10 000. Names and units are stored in the Mazovia code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/price_file.h"

inline constexpr const char* kPrchkCsvHeader = "code,name,price,gross2,net1,net2,unit";
inline constexpr int kPrchkCsvColumns = 7;

// Longest texts a record holds; each field keeps one byte for its zero.
inline constexpr int kMaxCodeLength = sizeof(PriceRecord::code) - 1;  // 16
inline constexpr int kMaxNameLength = sizeof(PriceRecord::name) - 1;  // 120
inline constexpr int kMaxUnitLength = sizeof(PriceRecord::unit) - 1;  // 17

// The checker keeps the first 13 characters of what was typed or scanned and
// shows the first 5 characters of a unit.
inline constexpr int kLongestEnteredCode = 13;
inline constexpr int kShownUnitLength = 5;

// Prices are held as whole 1/10000 units in a double; beyond 2^53 units a
// double can no longer hold every such number exactly.
inline constexpr int64_t kLargestPriceUnits = int64_t{1} << 53;

// One row of a CSV file, with the line on which it starts (1-based).
struct CsvRow {
    int line = 0;
    std::vector<std::string> fields;
};

// What a build, dump or verify has to tell the user: errors stop the work,
// warnings do not.
struct PrchkMessages {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

// --- CSV -------------------------------------------------------------------

// Splits CSV text into rows. Fields may be quoted; a quoted field may hold
// commas, line breaks and doubled quotes. A leading UTF-8 BOM is skipped and
// wholly empty lines are dropped. Returns 0, or -1 with an error naming the
// line (an unterminated quote, text after a closing quote).
int parseCsv(std::string_view text, std::vector<CsvRow>& rows, PrchkMessages& messages);

// Writes one CSV field, quoted when it holds a comma, a quote, a line break
// or blanks at either end.
void appendCsvField(std::string& out, std::string_view field);

// --- Text ------------------------------------------------------------------

// Recodes UTF-8 text into the Mazovia page. Only printable ASCII and the 18
// Polish letters are accepted: the checker recodes nothing else for the
// screen, so any other letter would be drawn as a different character.
// Returns 0, or -1 with `problem` saying which character was refused.
int utf8ToMazovia(std::string_view utf8, std::string& mazovia, std::string& problem);

// Recodes Mazovia bytes to UTF-8. Every byte has a character, so names from
// any back-office program come out readable.
std::string mazoviaToUtf8(std::string_view mazovia);

// The Unicode character of a Mazovia byte of 0x80 or above.
char32_t mazoviaByteToUnicode(unsigned char byte);

// --- Prices ----------------------------------------------------------------

// Reads a price in currency units ("12.99", "-0.5", "7") into 1/10000 units,
// rounded half away from zero. Blanks around the number are allowed; an
// exponent, a decimal comma, NaN or infinity are not. Returns 0, or -1 with
// `problem` set.
int parsePrice(std::string_view text, double& units, std::string& problem);

// Formats 1/10000 units as currency units with at least two decimals and no
// trailing zeros beyond them ("12.99", "1.2345", "0.00"); parsePrice reads
// the text back to the same value. Non-finite values come out as "nan",
// "inf" or "-inf".
std::string formatPrice(double units);

// --- Records ---------------------------------------------------------------

// Compares two code fields as unsigned bytes up to the zero byte, never
// reading beyond the 17 bytes of the field. Negative, zero or positive.
int compareCodes(const char* a, const char* b);

// Length of a text field up to its zero byte, at most `width`.
size_t fieldLength(const char* field, size_t width);

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

// --- Files -----------------------------------------------------------------

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
// Returns 0 when written, 1 when the CSV has errors, -1 when a file cannot be
// read or written. `recordCount` gets the number of records written.
int buildPriceFile(const std::string& csvPath, const std::string& outPath, size_t& recordCount,
                   PrchkMessages& messages);

// Price file in, CSV out (UTF-8 with a BOM, so spreadsheets read the Polish
// letters). Returns 0, or -1 when the file cannot be read or written.
// `recordCount` gets the number of records written.
int dumpPriceFile(const std::string& datPath, const std::string& csvPath, size_t& recordCount,
                  PrchkMessages& messages);

// What verifyPriceFile found. `findings` holds at most a few lines of each
// kind; `findingCount` counts them all.
struct VerifyReport {
    int64_t records = 0;
    int64_t trailingBytes = 0;
    int64_t findingCount = 0;
    std::vector<std::string> findings;
};

// Checks a price file record by record, reading it as a stream so files of
// any size can be checked: sort order, duplicate codes, trailing bytes, text
// fields without their zero byte, prices that are no finite number, and a
// file with no records. Returns 0 when clean, 1 with findings, -1 when the
// file cannot be read (error in `messages`).
int verifyPriceFile(const std::string& path, VerifyReport& report, PrchkMessages& messages);
