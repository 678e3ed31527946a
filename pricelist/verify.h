// Checking a price file from any source before it goes onto a checker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pricelist/messages.h"

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
