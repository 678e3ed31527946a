#!/bin/bash
# A long fuzzing campaign: builds the fuzzers and runs every target, one after
# the other, for N executions each, printing one line per target:
#
#   fuzz_entry: 1000000 runs, 13335 exec/s, cov 543, ft 2312, corpus 317 (35 KB), findings 0
#
# cov and ft are libFuzzer's counts of covered edges and features. Each
# target's corpus is kept between campaigns in a folder outside the tree and
# grows from the seeds in tests/fuzz/corpus/<target>, which stay as they are.
# An input that breaks a target is kept beside its corpus and named in the
# line; the campaign then goes on with the next target and ends non-zero.
#
#   tools/fuzz-campaign.sh N [target...]
#
# LUMIVO_FUZZ_BUILD: build folder (build/fuzz-campaign).
# LUMIVO_FUZZ_STATE: corpora and findings (~/.cache/lumivo-fuzz).
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

runs=${1:-}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: tools/fuzz-campaign.sh N [target...]   (N executions per target)" >&2
    exit 2
fi
shift
build=${LUMIVO_FUZZ_BUILD:-build/fuzz-campaign}
state=${LUMIVO_FUZZ_STATE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivo-fuzz}

mkdir -p "$(dirname "$build")" "$state"
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DLUMIVO_FUZZ=ON -DLUMIVO_BENCH=OFF >"$state/configure.log" 2>&1 ||
    ! cmake --build "$build" -j2 >"$state/build.log" 2>&1; then
    tail -30 "$state/configure.log" "$state/build.log" 2>/dev/null
    echo "fuzz-campaign: the fuzzers did not build" >&2
    exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# The value after "name:" in libFuzzer's final statistics.
final_stat() {
    sed -n "s/^stat::$1: *//p" "$2" | tail -1
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# Inputs in a folder and their size in KB.
corpus_size() {
    find "$1" -type f -printf '%s\n' | awk '{ n++; b += $1 } END { printf "%d (%d KB)", n, (b + 1023) / 1024 }'
}

# The value after "name: " in the last status line ("#N DONE cov: 1 ft: 2 ...").
last_status() {
    grep -E '^#[0-9]+' "$2" | tail -1 | sed -n "s/.* $1: \([0-9]*\).*/\1/p"
}

status=0
for name in "${targets[@]}"; do
    fuzzer="$build/tests/fuzz/$name"
    corpus="$state/$name/corpus"
    findings="$state/$name/findings"
    log="$state/$name/last-run.log"
    mkdir -p "$corpus" "$findings"
    if [ ! -x "$fuzzer" ]; then
        echo "$name: no such fuzzer in $build"
        status=1
        continue
    fi
    seeds=()
    [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
    before=$(find "$findings" -type f | wc -l)
    started=$(now_ms)
    # One process in the foreground (no -jobs, which would also leave its
    # log in the working folder): the machine's other core stays free.
    "$fuzzer" -runs="$runs" -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "${seeds[@]}" >"$log" 2>&1
    result=$?
    elapsed=$(($(now_ms) - started + 1))
    found=$(($(find "$findings" -type f | wc -l) - before))
    if [ "$result" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
    executed=$(final_stat number_of_executed_units "$log")
    executed=${executed:-$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')}
    line="$name: ${executed:-0} runs, $((${executed:-0} * 1000 / elapsed)) exec/s"
    line="$line, cov $(last_status cov "$log"), ft $(last_status ft "$log")"
    line="$line, corpus $(corpus_size "$corpus")"
    line="$line, findings $found"
    if [ "$found" -ne 0 ]; then
        line="$line (kept in $findings, log $log)"
        status=1
    fi
    echo "$line"
done
exit $status
