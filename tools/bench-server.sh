#!/bin/bash
# The checker server's figures: 64 simulated checkers on loopback, each from
# an address of its own (127.0.1.1 to 127.0.1.64) and each asking its next
# code when the answer to the last has come, 100 000 requests a run against
# a price file of 1 000 000 items, with no rate limit; the answer times (p50,
# p99) and the answers a second beside the least server measured in the same
# run, then the same while the list is reloaded, and the server's resident
# memory (tests/bench/checker_server_load.cpp does the work). Figures, never
# enforced; runs natively, not under Wine. Not part of tools/test-all.sh;
# takes about half a minute and 400 MB in /tmp.
#
#   tools/bench-server.sh [--items N] [--requests N] [--checkers N]
#
# Builds what it needs (Release) in build/bench-native.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
native="$root/build/bench-native"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=ON >/dev/null
cmake --build "$native" -j2 --target checker_server_load checker_server
echo "bench-server: $(nproc) processors; load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
"$native/tests/bench/checker_server_load" "$@"
echo "bench-server: load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
