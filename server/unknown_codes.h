// The codes nobody priced: every code a checker asked for and the list did
// not hold, with how often, when first and last, and which checker asked
// last. The shop gets them as a CSV file it opens in a spreadsheet, fills in
// names and prices, and adds to its price list:
//
//   Kod;Nazwa;Cena;Ile razy;Pierwszy raz;Ostatni raz;Sprawdzarka
//   5909990000013;;;12;2026-12-10 14:05;2026-12-11 09:41;192.168.1.23
//
// UTF-8 with a byte-order mark (so a spreadsheet reads it as UTF-8), ";"
// between fields and no quotes (a code holds neither), one row per code,
// the code asked most first, Nazwa and Cena empty. Times are local.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "server/recency_table.h"

struct UnknownCode {
    int64_t count = 0;
    std::time_t first = 0;
    std::time_t last = 0;
    uint32_t checker = 0;  // the address that asked last, network byte order
};

inline constexpr size_t kUnknownCodesKept = 100000;
inline constexpr const char* kUnknownCodesFileName = "nieznane-kody.csv";
inline constexpr const char* kUnknownCodesHeader =
    "Kod;Nazwa;Cena;Ile razy;Pierwszy raz;Ostatni raz;Sprawdzarka";

// The codes, the one asked last first; past kUnknownCodesKept codes the one
// asked longest ago goes.
using UnknownCodes = RecencyTable<std::string, UnknownCode>;

// Counts one request for `code` at `now` from `checker`.
void countUnknownCode(UnknownCodes& codes, const std::string& code, std::time_t now,
                      uint32_t checker);

// The file's text for these codes, most asked first (then asked last first,
// then by code). Times go through `localTime`, the platform's.
using LocalTimeCall = bool (*)(std::time_t when, std::tm* local);
std::string unknownCodesCsv(const std::vector<UnknownCodes::Entry>& codes, LocalTimeCall localTime);

// Reads a file written by unknownCodesCsv back into `codes`, so counts
// survive a restart. Rows it cannot read are skipped. Returns the rows read.
size_t readUnknownCodesCsv(std::string_view text, UnknownCodes& codes);
