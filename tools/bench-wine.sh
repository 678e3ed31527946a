#!/bin/bash
# The program's speed where a shop runs it: lumivo.exe and the Windows bench
# programs of tests/bench under Wine on a virtual display. Prints one table,
# each row with the figure, its reference and their ratio (start-up, scan to
# request against the line time and against its floor, a scanner burst,
# lookups against their system-call floor natively and under Wine, paints,
# idle processor time and memory), then one machine-readable line per row. Goals are shown, never enforced. Not part of
# tools/test-all.sh; takes a few minutes (--quick: far fewer runs, to try it;
# --scan-only: scan to request alone, lumivo.exe beside scan_floor.exe;
# --count-requests: instead of the table, the wineserver requests each of the
# two makes between a code's last byte and its datagram, from the server's
# trace).
#
# Builds what it needs in build/bench-native and build/bench-windows-ARCH
# (LUMIVO_BENCH_BUILD=DIR puts them in DIR-native and DIR-windows-ARCH).
# The measuring waits for the lock file ${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock}:
# figures taken while other Wine programs run on the machine say little.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tests/harness/wine-host.sh

tools/install-deps.sh
lumivo_pick_wine

build=${LUMIVO_BENCH_BUILD:-$root/build/bench}
windows="$build-windows-$LUMIVO_WINDOWS_ARCH"
native="$build-native"

echo "bench-wine: building (Release) in $windows and $native"
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" -DLUMIVO_BENCH=ON >/dev/null
cmake --build "$windows" -j2 --target lumivo least_window scan_floor bench_lookup_win32 bench_paint_win32
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=ON >/dev/null
cmake --build "$native" -j2 --target lumivo_bench

# Found rather than named: the folder of a target may move.
exe_of() {
    find "$windows" -name "$1" -not -path "*/CMakeFiles/*" | head -n 1
}

echo "bench-wine: measuring (waits for ${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock})"
lumivo_hold_wine_lock
python3 tools/bench_wine.py \
    --exe "$(exe_of lumivo.exe)" --least "$(exe_of least_window.exe)" \
    --floor "$(exe_of scan_floor.exe)" \
    --lookup "$(exe_of bench_lookup_win32.exe)" --paint "$(exe_of bench_paint_win32.exe)" \
    --native-lookup "$native/tests/bench/lumivo_bench" \
    --template "$windows/bench-wine-template" "$@"
