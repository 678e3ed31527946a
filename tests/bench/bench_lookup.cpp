// Lookups in generated price files of 1 000 to 10 000 000 records, codes
// found and codes missing: lookups per second, the record reads each lookup
// needs, and the time of the same system calls alone at the same places
// (floor_us; x_floor is the lookup's time over it, 1.2 at most is the aim).
// A warm lookup keeps the file in the page cache, as on a checker that has
// answered a few scans.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/bench/lookup_probes.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

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
        fillBenchRecords(chunk, first, std::min(100000L, count - first));
        std::fwrite(chunk.data(), sizeof(PriceRecord), chunk.size(), file);
    }
    std::fclose(file);
    made[count] = path;
    return path;
}

// One lookup's reads as the bare system calls: open, the length, one pread
// of a record at each offset the lookup read, close. What no lookup at
// those places can go below on this machine, so the ratio to it compares
// across machines. Returns false when a call fails.
bool readsAlone(const char* path, const int64_t* offsets, int count) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    PriceRecord record;
    for (int i = 0; ok && i < count; ++i)
        ok = pread(fd, &record, sizeof record, static_cast<off_t>(offsets[i])) ==
             static_cast<ssize_t>(sizeof record);
    benchmark::DoNotOptimize(record);
    close(fd);
    return ok;
}

double secondsOf(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Times each lookup and, beside it, the same reads alone; every other
// iteration the floor goes first, so neither always finds the cache warmed
// by the other.
void lookups(benchmark::State& state, bool found) {
    const long count = state.range(0);
    const std::string path = priceFileOf(count);
    if (path.empty()) {
        state.SkipWithError("cannot write the price file");
        return;
    }
    std::memset(&settings, 0, sizeof settings);
    std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path.c_str());
    const std::vector<Probe> probes = probesFor(count, found, 1024);

    long reads = 0, lookupsDone = 0, misses = 0, floorFailures = 0;
    int maxReads = 0;
    double lookupSeconds = 0, floorSeconds = 0;
    for (auto _ : state) {
        const Probe& probe = probes[static_cast<size_t>(lookupsDone) % probes.size()];
        const bool floorFirst = lookupsDone % 2 == 1;
        const auto t0 = Clock::now();
        if (floorFirst && !readsAlone(path.c_str(), probe.offsets, probe.reads)) ++floorFailures;
        const auto t1 = Clock::now();
        const int32_t result = lookupPriceRecord(probe.code);
        const auto t2 = Clock::now();
        if (!floorFirst && !readsAlone(path.c_str(), probe.offsets, probe.reads)) ++floorFailures;
        const auto t3 = Clock::now();
        benchmark::DoNotOptimize(result);
        lookupSeconds += secondsOf(t1, t2);
        floorSeconds += floorFirst ? secondsOf(t0, t1) : secondsOf(t2, t3);
        state.SetIterationTime(secondsOf(t1, t2));
        if ((result >= 0) != found) ++misses;
        reads += lastLookupReads;
        maxReads = std::max(maxReads, lastLookupReads);
        ++lookupsDone;
    }
    if (misses != 0) state.SkipWithError("a lookup gave the wrong answer");
    if (floorFailures != 0) state.SkipWithError("the floor's reads failed");
    const double done = lookupsDone == 0 ? 1.0 : static_cast<double>(lookupsDone);
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(lookupsDone), benchmark::Counter::kIsRate);
    state.counters["reads_max"] = maxReads;
    state.counters["reads_mean"] = static_cast<double>(reads) / done;
    state.counters["reads_bound"] = std::floor(std::log2(static_cast<double>(count))) + 2;
    state.counters["floor_us"] = floorSeconds / done * 1e6;
    state.counters["x_floor"] = floorSeconds > 0 ? lookupSeconds / floorSeconds : 0.0;
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
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupMissing)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
