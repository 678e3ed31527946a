// What the lookup benchmarks share, natively and under Wine: price files of
// generated records, and the codes to look up with the places each lookup
// reads, noted from one real lookup before any timing starts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "lookup/price_file.h"

inline constexpr int kBenchCodeWidth = 13;

// Records `first` to `first + count - 1` of a benchmark file: their codes
// are the even numbers, so every odd number is missing; every item costs 1.
inline void fillBenchRecords(std::vector<PriceRecord>& chunk, long first, long count) {
    chunk.assign(static_cast<size_t>(count), PriceRecord{});
    for (size_t i = 0; i < chunk.size(); ++i) {
        std::snprintf(chunk[i].code, sizeof chunk[i].code, "%0*ld", kBenchCodeWidth,
                      2 * (first + static_cast<long>(i)));
        std::snprintf(chunk[i].name, sizeof chunk[i].name, "Towar");
        chunk[i].price = 10000;
    }
}

struct Probe {
    char code[32];
    int reads;
    int64_t offsets[kMaxLookupReads];
};

// `probeCount` codes of a file of `count` records, found or missing, each
// with the offsets its lookup read (settings.priceFilePath names the file).
inline std::vector<Probe> probesFor(long count, bool found, size_t probeCount) {
    std::mt19937_64 random(static_cast<uint64_t>(count));
    std::uniform_int_distribution<long> pick(0, count - 1);
    std::vector<Probe> probes(probeCount);
    for (Probe& probe : probes) {
        std::snprintf(probe.code, sizeof probe.code, "%0*ld", kBenchCodeWidth,
                      2 * pick(random) + (found ? 0 : 1));
        lookupPriceRecord(probe.code);
        probe.reads = std::min(lastLookupReads, kMaxLookupReads);
        std::copy_n(lastLookupOffsets, probe.reads, probe.offsets);
    }
    return probes;
}
