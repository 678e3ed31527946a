#!/bin/bash
# Long runs of lumivo.exe under Wine on a virtual display, full screen, codes
# written to its virtual serial scanner as fast as the line takes them:
#
#   server      100 000 codes against the checker server, each of
#               which must reach it once, in order, byte for byte
#   standalone  100 000 codes looked up in a price file of 1 000 000 records at
#               0.01 each, after which the screen's total must read 1000.00
#
# In both the resident memory of the program's process after the last code may
# be at most 1 MiB above its value after the first 1 000. Prints the time,
# codes per second and memory of each run (tools/soak_wine.py does the work).
#
#   tools/soak-wine.sh [server] [standalone] [--codes N]    (default: both)
#
# Not part of tools/test-all.sh: each run takes many minutes. Needs what
# tools/install-deps.sh installs. Builds what it needs (Release) in
# build/soak-native and build/soak-windows-ARCH. The runs wait for the lock
# file ${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock}, held while they use Wine.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tests/harness/wine-host.sh

lumivo_pick_wine
windows="$root/build/soak-windows-$LUMIVO_WINDOWS_ARCH"
native="$root/build/soak-native"
echo "soak-wine: building lumivo.exe in $windows and the tools in $native"
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" >/dev/null
cmake --build "$windows" -j2 --target lumivo
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=OFF >/dev/null
cmake --build "$native" -j2 --target prchk checker_server

echo "soak-wine: soaking (waits for ${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock})"
# Found rather than named: the folder of the exe's target may move.
lumivo_hold_wine_lock
python3 tools/soak_wine.py \
    --exe "$(find "$windows" -name lumivo.exe -not -path "*/CMakeFiles/*" | head -n 1)" \
    --prchk "$native/prchk/prchk" --server "$native/server/checker_server" \
    --template "$windows/soak-wine-template" "$@"
