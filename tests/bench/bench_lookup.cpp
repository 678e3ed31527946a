// Lookups in generated price files of 1 000 to 10 000 000 records, codes
// found and codes missing: lookups per second and the record reads each
// lookup needs. A warm lookup keeps the file in the page cache, as on a
// checker that has answered a few scans.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/support/price_file_builder.h"

namespace {

constexpr int kCodeWidth = 13;

// The folder and its files go at exit.
TempFolder& benchFolder() {
    static TempFolder folder;
    return folder;
}

// Writes the file of `count` records once: codes are the even numbers, so
// every odd number is missing.
std::string priceFileOf(long count) {
    static std::map<long, std::string> made;
    if (auto it = made.find(count); it != made.end()) return it->second;

    const std::string path = benchFolder().file("PRCHK-" + std::to_string(count) + ".DAT");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return {};
    std::vector<PriceRecord> chunk;
    for (long first = 0; first < count; first += 100000) {
        chunk.clear();
        for (long i = first; i < count && i < first + 100000; ++i)
            chunk.push_back(makePriceRecord(numberedCode(2 * i, kCodeWidth), "Towar", 1.0));
        std::fwrite(chunk.data(), sizeof(PriceRecord), chunk.size(), file);
    }
    std::fclose(file);
    made[count] = path;
    return path;
}

void lookups(benchmark::State& state, bool found) {
    const long count = state.range(0);
    const std::string path = priceFileOf(count);
    if (path.empty()) {
        state.SkipWithError("cannot write the price file");
        return;
    }
    std::memset(&settings, 0, sizeof settings);
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path.c_str());

    std::mt19937_64 random(count);
    std::uniform_int_distribution<long> pick(0, count - 1);
    long reads = 0;
    long lookupsDone = 0;
    int maxReads = 0;
    long misses = 0;
    for (auto _ : state) {
        const long index = pick(random);
        char code[32];
        std::snprintf(code, sizeof code, "%0*ld", kCodeWidth, 2 * index + (found ? 0 : 1));
        const int32_t result = lookupPriceRecord(code);
        benchmark::DoNotOptimize(result);
        if ((result >= 0) != found) ++misses;
        reads += lastLookupReads;
        maxReads = std::max(maxReads, lastLookupReads);
        ++lookupsDone;
    }
    if (misses != 0) state.SkipWithError("a lookup gave the wrong answer");
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(lookupsDone), benchmark::Counter::kIsRate);
    state.counters["reads_max"] = maxReads;
    state.counters["reads_mean"] =
        lookupsDone == 0 ? 0.0 : static_cast<double>(reads) / static_cast<double>(lookupsDone);
    state.counters["reads_bound"] = std::floor(std::log2(static_cast<double>(count))) + 2;
}

void BM_LookupFound(benchmark::State& state) {
    lookups(state, true);
}
void BM_LookupMissing(benchmark::State& state) {
    lookups(state, false);
}

BENCHMARK(BM_LookupFound)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupMissing)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
