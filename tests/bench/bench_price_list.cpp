// Building PRCHK.DAT from price lists of 100 000 and 1 000 000 rows with the
// real prchk tool, as a technician runs it: the time of a build and the most
// memory the tool held (its peak resident set, peak_MiB), beside what it may
// hold at most (bound_MiB: 1.5 times the price file it writes, plus 64 MiB).
// Figures, not a timed test. The list is what a Polish spreadsheet saves:
// ";", decimal commas, Polish letters, about 88 bytes a row.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "lookup/price_file.h"
#include "tests/support/price_file_builder.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// The list of `rows` items, codes in no order, as a shop's list comes.
bool writeList(const std::string& path, long rows) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fputs("Kod;Nazwa towaru;Cena;Brutto 2;Netto;Netto 2;J.m.\r\n", file);
    for (long i = 0; i < rows; ++i) {
        const long code = (i * 7919) % 10000000000L;
        std::fprintf(
            file,
            "59%010ld;\"Ser żółty gouda nr %ld, plastry %ld g\";%ld,%02ld;;%ld,%02ld;;szt\r\n",
            code, i, 100 + i % 900, i % 1000, i % 100, i % 900, i % 97);
    }
    return std::fclose(file) == 0;
}

// Runs `prchk build`; gives its wall time and its peak resident set.
bool runBuild(const std::string& csv, const std::string& dat, double& seconds, long& peakBytes) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(LUMIVO_PRCHK_TOOL, "prchk", "build", csv.c_str(), dat.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakBytes = usage.ru_maxrss * 1024L;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_BuildPriceFile(benchmark::State& state) {
    TempFolder folder;
    const std::string csv = folder.file("cennik.csv");
    const std::string dat = folder.file("PRCHK.DAT");
    const long rows = state.range(0);
    if (!writeList(csv, rows)) {
        state.SkipWithError("the list cannot be written");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        double seconds = 0;
        long bytes = 0;
        if (!runBuild(csv, dat, seconds, bytes)) {
            state.SkipWithError("prchk build failed");
            return;
        }
        state.SetIterationTime(seconds);
        peak = std::max(peak, bytes);
    }
    const double datBytes = static_cast<double>(rows) * kPriceRecordSize;
    state.counters["peak_MiB"] = static_cast<double>(peak) / kMiB;
    state.counters["bound_MiB"] = (1.5 * datBytes) / kMiB + 64;
    state.counters["csv_MiB"] = static_cast<double>(std::filesystem::file_size(csv)) / kMiB;
}
BENCHMARK(BM_BuildPriceFile)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
