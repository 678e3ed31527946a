// The price-file lookup as the Windows program runs it, with its own timing
// loop (Google Benchmark is built for this machine only): files of 1 000 to
// 10 000 000 records, codes found and missing, against the floor of the same
// Win32 calls alone in the same run: CreateFileA, the length, one seek and
// one 194-byte ReadFile at each place the lookup read, CloseHandle.
//
//   bench_lookup_win32.exe [FOLDER [LARGEST]]
// writes its files into FOLDER (default: the working folder), kept for the
// next run, and stops after the file of LARGEST records (default 10 000 000).
//
// One line per file size and kind of code, for tools/bench_wine.py:
//   lookup records=1000 codes=found lookup_us=41.2 floor_us=38.0 ratio=1.08 reads=9.0
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lookup/price_file.h"
#include "settings/settings.h"
#include "tests/bench/lookup_probes.h"
#include "tests/bench/win32_clock.h"

namespace {

constexpr int kProbes = 256;  // codes per timed block
constexpr int kRounds = 15;   // blocks of lookups, each beside a block of the floor

// Codes are the even numbers, so every odd number is missing. A file of the
// right length left by an earlier run is kept.
bool writePriceFile(const std::string& path, long count) {
    WIN32_FILE_ATTRIBUTE_DATA existing;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &existing) &&
        (static_cast<int64_t>(existing.nFileSizeHigh) << 32 | existing.nFileSizeLow) ==
            static_cast<int64_t>(count) * kPriceRecordSize)
        return true;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<PriceRecord> chunk;
    bool ok = true;
    for (long first = 0; ok && first < count; first += 100000) {
        fillBenchRecords(chunk, first, std::min(100000L, count - first));
        const DWORD bytes = static_cast<DWORD>(chunk.size() * sizeof(PriceRecord));
        DWORD written = 0;
        ok = WriteFile(file, chunk.data(), bytes, &written, nullptr) && written == bytes;
    }
    return CloseHandle(file) && ok;
}

// One lookup's reads as the bare Win32 calls, opened as the program opens
// the file (sharing read and write). False when a call fails.
bool readsAlone(const char* path, const Probe& probe) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length;
    bool ok = GetFileSizeEx(file, &length) != 0;
    PriceRecord record;
    for (int i = 0; ok && i < probe.reads; ++i) {
        LARGE_INTEGER offset;
        offset.QuadPart = probe.offsets[i];
        DWORD got = 0;
        ok = SetFilePointerEx(file, offset, nullptr, FILE_BEGIN) &&
             ReadFile(file, &record, sizeof record, &got, nullptr) && got == sizeof record;
    }
    CloseHandle(file);
    return ok;
}

// Seconds per lookup over one block; negative when an answer was wrong.
double timeLookups(const std::vector<Probe>& probes, bool found) {
    const double start = nowSeconds();
    bool right = true;
    for (const Probe& probe : probes) right &= (lookupPriceRecord(probe.code) >= 0) == found;
    const double seconds = (nowSeconds() - start) / static_cast<double>(probes.size());
    return right ? seconds : -1.0;
}

// Seconds per lookup's reads alone over one block; negative when one failed.
double timeFloor(const char* path, const std::vector<Probe>& probes) {
    const double start = nowSeconds();
    bool ok = true;
    for (const Probe& probe : probes) ok &= readsAlone(path, probe);
    const double seconds = (nowSeconds() - start) / static_cast<double>(probes.size());
    return ok ? seconds : -1.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Blocks of lookups and of the floor by turns, the floor first every other
// round, so that neither always finds the cache warmed by the other.
bool measure(const std::string& path, long count, bool found) {
    const std::vector<Probe> probes = probesFor(count, found, kProbes);
    std::vector<double> lookupTimes, floorTimes;
    for (int round = 0; round < kRounds; ++round) {
        const bool floorFirst = round % 2 == 1;
        const double a = floorFirst ? timeFloor(path.c_str(), probes) : timeLookups(probes, found);
        const double b = floorFirst ? timeLookups(probes, found) : timeFloor(path.c_str(), probes);
        if (a < 0 || b < 0) return false;
        lookupTimes.push_back(floorFirst ? b : a);
        floorTimes.push_back(floorFirst ? a : b);
    }
    double reads = 0;
    for (const Probe& probe : probes) reads += probe.reads;
    const double lookup = median(lookupTimes), floor = median(floorTimes);
    std::printf("lookup records=%ld codes=%s lookup_us=%.2f floor_us=%.2f ratio=%.3f reads=%.1f\n",
                count, found ? "found" : "missing", lookup * 1e6, floor * 1e6, lookup / floor,
                reads / kProbes);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    const long largest = argc > 2 ? std::atol(argv[2]) : 10000000L;
    for (long count = 1000; count <= largest; count *= count < 100000 ? 100 : 10) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%s\\PRCHK-%ld.DAT", folder.c_str(), count);
        char path[MAX_PATH];
        if (GetFullPathNameA(name, sizeof path, path, nullptr) == 0 ||
            !writePriceFile(path, count)) {
            std::fprintf(stderr, "bench_lookup_win32: cannot write %s\n", name);
            return 1;
        }
        std::memset(&settings, 0, sizeof settings);
        std::snprintf(settings.priceFilePath, sizeof settings.priceFilePath, "%s", path);
        for (const bool found : {true, false}) {
            if (!measure(path, count, found)) {
                std::fprintf(stderr, "bench_lookup_win32: a lookup or a read went wrong\n");
                return 1;
            }
        }
    }
    return 0;
}
