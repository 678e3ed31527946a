// Helpers for native tests, fuzzers and benchmarks that need a PRCHK.DAT or
// a setup.dat: records written byte for byte as the back-office program
// writes them, into a folder of the test's own (temp_folder.h).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/price_file.h"
#include "tests/support/temp_folder.h"

// Copies `text` into a field; the field gets no zero byte when the text
// fills it, as a damaged file might have it.
template <size_t N>
inline void fillField(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

// Prices are given in currency units and stored in 1/10000 as the file does.
inline PriceRecord makePriceRecord(std::string_view code, std::string_view name = "Towar",
                                   double price = 1.0, std::string_view unit = "szt",
                                   double gross2 = 0, double net1 = 0, double net2 = 0) {
    PriceRecord record;
    std::memset(&record, 0, sizeof record);
    fillField(record.code, code);
    fillField(record.name, name);
    fillField(record.unit, unit);
    record.price = price * 10000;
    record.gross2 = gross2 * 10000;
    record.net1 = net1 * 10000;
    record.net2 = net2 * 10000;
    return record;
}

// The file's order: codes as unsigned bytes, at most 17 of them.
inline bool priceRecordCodeLess(const PriceRecord& a, const PriceRecord& b) {
    return std::string_view(a.code, strnlen(a.code, sizeof a.code)) <
           std::string_view(b.code, strnlen(b.code, sizeof b.code));
}

inline void sortPriceRecords(std::vector<PriceRecord>& records) {
    std::stable_sort(records.begin(), records.end(), priceRecordCodeLess);
}

// The bytes of a price file: the records as they are (no sorting).
inline std::string priceFileBytes(const std::vector<PriceRecord>& records) {
    return std::string(reinterpret_cast<const char*>(records.data()),
                       records.size() * sizeof(PriceRecord));
}

inline bool writeBytes(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// Writes the records as they are (no sorting) and then `trailing` extra
// bytes. Returns false when the file cannot be written.
inline bool writePriceFile(const std::string& path, const std::vector<PriceRecord>& records,
                           std::string_view trailing = {}) {
    return writeBytes(path, priceFileBytes(records).append(trailing));
}

// Codes "0000000", "0000002", ... : `count` sorted records whose codes are
// the even numbers, so every odd number is a code missing between them.
inline std::string numberedCode(long number, int width = 7) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld", width, number);
    return text;
}

inline std::vector<PriceRecord> numberedPriceRecords(long count, int width = 7) {
    std::vector<PriceRecord> records;
    records.reserve(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i)
        records.push_back(makePriceRecord(numberedCode(2 * i, width), "Towar", 1.0 + i));
    return records;
}
