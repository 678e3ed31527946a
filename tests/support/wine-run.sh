#!/bin/bash
# Runs a cross-built Windows test program under Wine: ctest's emulator for the
# Windows build (CMAKE_CROSSCOMPILING_EMULATOR). Usage: wine-run.sh prog.exe [args...]
#
# Prefix: $LUMIVO_WINEPREFIX when set, else .wineprefix in the working
# directory (ctest runs in the build tree), made on first use. Display: $DISPLAY
# when set, else an Xvfb of our own for the duration of the run. The program's
# exit code is passed through. When this script made the prefix or the display,
# it also stops the wineserver it started, so that nothing lingers.
set -u

prefix="${LUMIVO_WINEPREFIX:-$PWD/.wineprefix}"
own_prefix=0
[ -z "${LUMIVO_WINEPREFIX:-}" ] && own_prefix=1

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Polish Windows: ANSI code page 1250 for the program's texts.
export LC_ALL="${LUMIVO_WINE_LOCALE:-pl_PL.UTF-8}"

xvfb_pid=""
stop_display() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    fi
}
trap stop_display EXIT

if [ -z "${DISPLAY:-}" ]; then
    # -displayfd lets Xvfb pick a free display number and tell us which.
    fifo_dir=$(mktemp -d)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo_dir/display" \
        >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$fifo_dir/display" ] && break
        sleep 0.1
    done
    display=$(tr -dc 0-9 <"$fifo_dir/display")
    rm -rf "$fifo_dir"
    if [ -z "$display" ]; then
        echo "wine-run: Xvfb did not start" >&2
        exit 125
    fi
    export DISPLAY=":$display"
fi

if [ ! -f "$prefix/system.reg" ]; then
    # Several tests may start at once on a fresh tree: one makes the prefix.
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            wineboot --init >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$prefix.lock"
fi

wine "$@"
rc=$?

if [ "$own_prefix" = 1 ] || [ -n "$xvfb_pid" ]; then
    # Wait for Wine's own helper processes to end, but not for ever.
    timeout 30 wineserver -w || wineserver -k
fi
exit "$rc"
