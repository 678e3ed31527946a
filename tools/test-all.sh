#!/bin/bash
# Builds everything and runs every test: the native unit tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzzer for a short
# bounded time, the release as shops get it (tools/make-release.sh) and its
# check, the same release built again from a clone elsewhere and compared
# byte for byte, and the Windows build with its tests under Wine and the end-to-end
# tests of lumivo.exe on a virtual display. On a host whose kernel refuses
# 32-bit programs the Windows build is 64-bit (tests/harness/wine-host.sh),
# and the release's own 32-bit programs get a smoke run under emulation
# (tools/smoke-shop-build.sh); LUMIVO_FORCE_EMULATION=1 takes that way on
# any host.
#
# Its Windows steps hold the Wine lock (${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock}),
# so that two sessions on one machine never run Wine at once; run under
# "flock LOCK tools/test-all.sh" it keeps that lock.
#
# Ends with the build its Windows tests ran and one line "N passed, M failed,
# K skipped", and a non-zero status when anything failed. Build folders:
# build/ci-native, build/ci-asan, build/ci-fuzz, build/ci-release (the
# release in build/ci-release-dist), build/ci-win32 or build/ci-win64,
# build/smoke. Fuzz time per target: LUMIVO_FUZZ_SECONDS (default 15).
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tests/harness/wine-host.sh

jobs=2
fuzz_seconds=${LUMIVO_FUZZ_SECONDS:-15}
passed=0
failed=0
skipped=0
failures=""
started=$(date +%s)

note_failure() {
    failed=$((failed + 1))
    failures="$failures\n  $1"
    echo "test-all: FAILED: $1"
}

step() {
    echo
    echo "=== $* ($(( $(date +%s) - started )) s)"
}

# Configures and builds one tree; a failed build counts as one failure.
build() {
    local dir=$1
    shift
    mkdir -p "$(dirname "$dir")"
    if ! cmake -S . -B "$dir" -G Ninja --no-warn-unused-cli "$@" >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"
        note_failure "configure $dir"
        return 1
    fi
    if ! cmake --build "$dir" -j"$jobs"; then
        note_failure "build $dir"
        return 1
    fi
}

# Runs ctest in a tree and adds its counts to the totals.
run_ctest() {
    local dir=$1
    local log="$dir/ctest.log"
    (cd "$dir" && ctest --output-on-failure -j"$jobs") 2>&1 | tee "$log"
    # "100% tests passed, 0 tests failed out of 57"
    local summary
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -z "$summary" ]; then
        if grep -q 'No tests were found' "$log"; then
            return 0
        fi
        note_failure "ctest in $dir gave no summary"
        return
    fi
    local bad total
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    if [ "$bad" -ne 0 ]; then
        failures="$failures\n  $bad test(s) in $dir"
    fi
}

# --- processes this script starts, stopped by PID at the end ----------------
work=$(mktemp -d)
cleanup() {
    lumivo_stop_display
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "dependencies"
if ! tools/install-deps.sh; then
    note_failure "tools/install-deps.sh"
fi

step "native build and unit tests (build/ci-native)"
if build build/ci-native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVO_BENCH=ON; then
    run_ctest build/ci-native
fi

step "AddressSanitizer and UndefinedBehaviorSanitizer (build/ci-asan)"
if build build/ci-asan -DCMAKE_BUILD_TYPE=Debug -DLUMIVO_SANITIZE=ON -DLUMIVO_BENCH=OFF; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_ctest build/ci-asan
fi

step "fuzzers, ${fuzz_seconds} s each (build/ci-fuzz)"
if build build/ci-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DLUMIVO_FUZZ=ON -DLUMIVO_BENCH=OFF; then
    for source in tests/fuzz/fuzz_*.cpp; do
        [ -e "$source" ] || continue
        name=$(basename "$source" .cpp)
        corpus="$work/corpus-$name"
        mkdir -p "$corpus" "$work/artifacts-$name"
        # The seed corpus is copied: the fuzzer adds what it finds to the
        # first folder, and the repository stays as it is.
        if [ -d "tests/fuzz/corpus/$name" ]; then
            cp -r "tests/fuzz/corpus/$name/." "$corpus/"
        fi
        echo "test-all: $name"
        if "build/ci-fuzz/tests/fuzz/$name" -max_total_time="$fuzz_seconds" \
                -artifact_prefix="$work/artifacts-$name/" -print_final_stats=1 \
                "$corpus" >"$work/$name.log" 2>&1; then
            passed=$((passed + 1))
            grep -E '^(stat::number_of_executed_units|Done)' "$work/$name.log" | sed 's/^/  /'
        else
            tail -40 "$work/$name.log"
            # Keep the input that broke it where a developer can replay it.
            kept="build/ci-fuzz/artifacts-$name"
            rm -rf "$kept" && cp -r "$work/artifacts-$name" "$kept"
            note_failure "fuzzer $name (crashing input kept in $kept)"
        fi
    done
fi

step "the release as shops get it (build/ci-release, build/ci-release-dist)"
release=build/ci-release-dist
if LUMIVO_RELEASE_BUILD=build/ci-release tools/make-release.sh "$release" >"$work/release.log" 2>&1 &&
    python3 tests/install/check_version_info.py --windres i686-w64-mingw32-windres \
        --release "$release"; then
    passed=$((passed + 1))
else
    tail -40 "$work/release.log"
    note_failure "the release (tools/make-release.sh $release and its check)"
    release=""
fi

# A second release of the same sources, from a clone at a longer path with
# the tree's uncommitted changes laid over it, must give the same bytes as
# the one above: nothing of the build's place or time gets into a release.
same_release_elsewhere() {
    local clone="$work/release-again" other="$work/release-again-dist"
    git clone -q --no-checkout "$root" "$clone" && git -C "$clone" checkout -q "$(git rev-parse HEAD)" ||
        return 1
    git diff HEAD --binary | (cd "$clone" && git apply --allow-empty) || return 1
    git ls-files -z --others --exclude-standard | xargs -0r cp --parents -t "$clone" || return 1
    (cd "$clone" && LUMIVO_RELEASE_BUILD=build/ci-release tools/make-release.sh "$other") \
        >"$work/release-again.log" 2>&1 || { tail -30 "$work/release-again.log"; return 1; }
    diff -r "$release" "$other"
}
if [ -n "$release" ]; then
    step "the release again from a clone elsewhere: byte for byte the same"
    again_started=$SECONDS
    if same_release_elsewhere; then
        passed=$((passed + 1))
        echo "test-all: the second release took $((SECONDS - again_started)) s"
    else
        note_failure "the release built twice differs (or failed: $work/release-again.log)"
    fi
fi

lumivo_pick_wine
windows_build=build/ci-win32
windows_said="the 32-bit build under 32-bit Wine"
if [ "$LUMIVO_WINDOWS_ARCH" = x86_64 ]; then
    windows_build=build/ci-win64
    windows_said="a 64-bit build under 64-bit Wine"
    echo "test-all: this host cannot run 32-bit programs: the Windows tests run a 64-bit build under 64-bit Wine"
fi
step "Windows build, tests under Wine and end-to-end ($windows_build)"
# One virtual display with a window manager for every Windows test.
if ! lumivo_start_display; then
    note_failure "no virtual display"
elif build "$windows_build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" \
        -DLUMIVO_NATIVE_BUILD="$root/build/ci-native"; then
    echo "test-all: waiting for the Wine lock (${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock})"
    lumivo_hold_wine_lock
    LUMIVO_E2E_DISPLAY=$DISPLAY run_ctest "$windows_build"
fi

entry_before=$(lumivo_i386_entry_enabled && echo another)
if [ "$LUMIVO_WINDOWS_ARCH" = x86_64 ]; then
    step "the shop's 32-bit release under emulation (tools/smoke-shop-build.sh)"
    if [ -z "$release" ]; then
        note_failure "the 32-bit smoke run: no release to run"
        windows_said="$windows_said; the shop's 32-bit release: no release to run"
    else
        lumivo_hold_wine_lock
        smoke_started=$(date +%s)
        tools/smoke-shop-build.sh "$release" build/ci-native 2>&1 | tee "$work/smoke.log"
        smoke_status=${PIPESTATUS[0]}
        smoke_said="$(( $(date +%s) - smoke_started )) s, $(grep -o '[0-9]* emulated Wine process starts' "$work/smoke.log")"
        case $smoke_status in
            0) passed=$((passed + 1))
               windows_said="$windows_said; the shop's 32-bit release: smoke run under emulation passed ($smoke_said)" ;;
            77) skipped=$((skipped + 1))
                windows_said="$windows_said; the shop's 32-bit release: smoke run skipped ($(sed -n 's/^smoke-shop-build: skipped: //p' "$work/smoke.log"))" ;;
            *) note_failure "the 32-bit smoke run under emulation (tools/smoke-shop-build.sh)"
               windows_said="$windows_said; the shop's 32-bit release: smoke run under emulation FAILED ($smoke_said)" ;;
        esac
    fi
fi
lumivo_release_wine_lock
# The emulation never outlives the smoke run: other Wine runs keep the fast way.
if [ -e "$lumivo_binfmt/$lumivo_entry" ] || { [ -z "$entry_before" ] && lumivo_i386_entry_enabled; }; then
    note_failure "a binfmt_misc entry for 32-bit programs is left after the smoke run"
fi

echo
echo "test-all: took $(( $(date +%s) - started )) s (load $(cut -d' ' -f1-3 /proc/loadavg))"
if [ "$failed" -ne 0 ]; then
    echo -e "test-all: what failed:$failures"
fi
echo "test-all: Windows tests: $windows_said"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
