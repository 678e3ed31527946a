#!/bin/bash
# Builds lumivo.exe and runs it under Wine in a demo working folder, build/demo:
# its own Wine prefix, the demo price file, and a setup.dat for server mode
# against the bundled checker-server simulator on 127.0.0.1:1001.
#
#   tools/run-demo.sh               server mode (the program's default mode)
#   tools/run-demo.sh --standalone  standalone mode, looking codes up in PRCHK.DAT
#
# The window opens on $DISPLAY, or on a virtual display when there is none.
# setup.dat is written afresh at every start of the demo.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tools/wine-host.sh

mode=server
for arg in "$@"; do
    case "$arg" in
        --standalone) mode=standalone ;;
        -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run-demo: unknown option $arg (try --standalone)" >&2; exit 2 ;;
    esac
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

tools/install-deps.sh
lumivo_pick_wine

echo "run-demo: building lumivo.exe and the tools (first time: a few minutes)"
cmake -S . -B build/demo-windows-$LUMIVO_WINDOWS_ARCH -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" >/dev/null
cmake --build build/demo-windows-$LUMIVO_WINDOWS_ARCH -j2 --target lumivo
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=OFF >/dev/null
cmake --build build/demo-native -j2 --target prchk checker_sim

demo="$root/build/demo"
exe="$root/build/demo-windows-$LUMIVO_WINDOWS_ARCH/ui/lumivo.exe"
mkdir -p "$demo"
build/demo-native/tools/prchk build tools/demo/demo_items.csv "$demo/PRCHK.DAT"
python3 tests/e2e/harness.py setup "$demo" "$mode" "$demo/PRCHK.DAT" 127.0.0.1

sim_pid=""
xvfb_pid=""
openbox_pid=""
cleanup() {
    for pid in $sim_pid $openbox_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    # No screen here: a virtual one, with a window manager so that keys
    # sent with xdotool reach the window.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$demo/.display" \
        >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$demo/.display" ] && break; sleep 0.1; done
    export DISPLAY=":$(tr -dc 0-9 <"$demo/.display")"
    rm -f "$demo/.display"
    openbox --sm-disable >/dev/null 2>&1 &
    openbox_pid=$!
    virtual=1
else
    virtual=0
fi

export WINEPREFIX="$demo/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=pl_PL.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run-demo: making the demo's Wine prefix (about 20 s, once)"
fi
python3 tests/e2e/harness.py prefix "$WINEPREFIX"

if [ "$mode" = server ]; then
    echo "run-demo: starting the checker-server simulator on 127.0.0.1:1001 (one line per request)"
    $SUDO build/demo-native/tools/checker_sim --address 127.0.0.1 --port 1001 \
        --csv tools/demo/demo_items.csv &
    sim_pid=$!
    sleep 0.5
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "run-demo: the simulator did not start (port 1001 taken, or no root rights?)" >&2
        exit 1
    fi
fi

cat <<INFO
run-demo: lumivo.exe in $mode mode, working folder $demo
run-demo: type a code and Enter in the window, e.g. 5901234000017 (bread), 2100012012348
          (weighed ham), 1234 (unknown); more in tools/demo/README.md. Escape opens the
          configuration; "Koniec" in the menu bar ends the demo.
INFO
if [ "$virtual" = 1 ]; then
    cat <<INFO
run-demo: there is no display here, so the program runs on the virtual display $DISPLAY.
          Look at it:  import -display $DISPLAY -window root shot.png
          Type into it: DISPLAY=$DISPLAY xdotool search --name '^lumivo\$' windowactivate --sync \\
                            type 5901234000017; DISPLAY=$DISPLAY xdotool key Return
          End it:       DISPLAY=$DISPLAY xdotool key alt+k   (or Ctrl+C here)
INFO
fi

cd "$demo"
set +e
wine "$exe"
status=$?
set -e
wineserver -k 2>/dev/null || true
echo "run-demo: lumivo.exe ended with exit code $status"
exit "$status"
