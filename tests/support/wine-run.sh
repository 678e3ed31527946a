#!/bin/bash
# Runs a cross-built Windows test program under Wine: ctest's emulator for the
# Windows build (CMAKE_CROSSCOMPILING_EMULATOR). Usage: wine-run.sh prog.exe [args...]
#
# Prefix: $LUMIVO_WINEPREFIX, used as it is, when set; else .wineprefix in the
# working directory (ctest runs in the build tree), made on first use by the
# same recipe as every other prefix (tests/harness/winebox.py). Display: $DISPLAY when
# set, else a virtual one of our own for the duration of the run. The
# program's exit code is passed through. When this script made the prefix or
# the display, it also stops the wineserver it started, so that nothing lingers.
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/harness/wine-host.sh"
trap lumivo_stop_display EXIT

if [ -z "${DISPLAY:-}" ]; then
    lumivo_start_display || exit 125
fi

if [ -n "${LUMIVO_WINEPREFIX:-}" ]; then
    lumivo_wine_env "$LUMIVO_WINEPREFIX" || exit 125
else
    # Several tests may start at once on a fresh tree: one makes the prefix.
    lumivo_use_prefix "$PWD/.wineprefix" || exit 125
fi

wine "$@"
rc=$?

if [ -z "${LUMIVO_WINEPREFIX:-}" ] || [ -n "$lumivo_display_pid" ]; then
    # Wait for Wine's own helper processes to end, but not for ever.
    timeout $((30 * ${LUMIVO_WINE_TIME_FACTOR:-1})) wineserver -w || wineserver -k
fi
exit "$rc"
