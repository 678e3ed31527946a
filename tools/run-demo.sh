#!/bin/bash
# Builds lumivo.exe and runs it under Wine in a demo working folder, build/demo:
# its own Wine prefix, the demo price file, and a setup.dat for server mode
# against the checker server on 127.0.0.1:1001, serving the demo list with the
# demo's in-store prefixes.
#
#   tools/run-demo.sh               server mode (the program's default mode)
#   tools/run-demo.sh --standalone  standalone mode, looking codes up in PRCHK.DAT
#
# The window opens on $DISPLAY, or on a virtual display when there is none.
# setup.dat is written afresh at every start of the demo.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tests/harness/wine-host.sh

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
lumivo_build_demo

demo="$root/build/demo"
mkdir -p "$demo"
"$lumivo_demo_prchk" build tools/demo/demo_items.csv "$demo/PRCHK.DAT"
python3 tests/harness/setup_dat.py "$demo" "$mode" "$demo/PRCHK.DAT" 127.0.0.1

server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    lumivo_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    # No screen here: a virtual one, with a window manager so that keys
    # sent with xdotool reach the window.
    lumivo_start_display
    virtual=1
else
    virtual=0
fi

if [ ! -f "$demo/wineprefix/system.reg" ]; then
    echo "run-demo: making the demo's Wine prefix (about 20 s, once)"
fi
lumivo_use_prefix "$demo/wineprefix"

if [ "$mode" = server ]; then
    echo "run-demo: starting the checker server on 127.0.0.1:1001 (one line per request)"
    # The demo's setup.dat gives the server the prefixes the checker has;
    # the codes nobody priced are counted in the demo folder.
    $SUDO "$lumivo_demo_server" --address 127.0.0.1 --port 1001 --verbose \
        --csv tools/demo/demo_items.csv --setup "$demo/setup.dat" \
        --unknown "$demo/nieznane-kody.csv" &
    server_pid=$!
    sleep 0.5
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "run-demo: the checker server did not start (port 1001 taken, or no root rights?)" >&2
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
wine "$lumivo_demo_exe"
status=$?
set -e
wineserver -k 2>/dev/null || true
echo "run-demo: lumivo.exe ended with exit code $status"
exit "$status"
