#!/bin/bash
# The shop's own 32-bit programs from a release folder (tools/make-release.sh)
# run once under 32-bit Wine on a host whose kernel refuses 32-bit programs,
# through qemu's user-mode emulation: a smoke run of what ships, not the whole
# suite, since each 32-bit Wine process start costs about a minute there.
#   lumivo.exe and prchk.exe  tests/e2e/test_standalone.py, one run of the
#                             checker: prchk.exe builds and verifies its price
#                             file, both modes, the About box, the dialog, "Koniec"
#   the installer             tests/install/test_installer.py: /S into
#                             "Program Files (x86)", a start from the shortcut,
#                             an upgrade, the uninstaller
# in one 64-bit Wine prefix made with the emulation on, as on a 64-bit shop PC
# (build/smoke/wine-template, kept between runs). 64-bit Wine programs
# (wineboot, reg) stay native; only 32-bit ones are emulated.
#
#   tools/smoke-shop-build.sh RELEASE_FOLDER NATIVE_BUILD
#
# NATIVE_BUILD: a native build of this tree with prchk and checker_server. The
# checker and the installer run side by side, each on a virtual display of
# its own.
#
# The emulation lives only as long as this run. Where the kernel allows it
# (Linux 6.7 and later) the binfmt_misc entry is private: registered in a
# binfmt_misc mounted inside a user and mount namespace of this run's own,
# which no other process sees. Elsewhere a global entry named lumivo-i386 is
# registered under the Wine lock and removed when the run ends, however it
# ends; no other entry is touched. Time limits grow by LUMIVO_WINE_TIME_FACTOR
# (default 10, a whole number).
#
# Exit status: 0 passed; 77 skipped (no qemu-user-static, no binfmt_misc in the
# kernel, or registering refused: one line says which); else failed.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/harness/wine-host.sh"

# Measured here: a process start about 60 s against 0.5 s natively, a window
# or a screen change within seconds instead of at once. Ten times every
# native limit leaves room on a loaded two-core machine.
emulation_time_factor=10

say() { echo "smoke-shop-build: $*"; }
skip() {
    say "skipped: $*"
    exit 77
}

# --- the smoke run itself, with the emulation in place ---------------------------

# part NAME COMMAND...: runs one part, says how it went and how long it took.
part() {
    local name=$1 started
    shift
    started=$(date +%s)
    if "$@"; then
        say "$name passed in $(($(date +%s) - started)) s (load $(cut -d' ' -f1-3 /proc/loadavg))"
    else
        say "$name FAILED after $(($(date +%s) - started)) s (load $(cut -d' ' -f1-3 /proc/loadavg))"
        return 1
    fi
}

# Runs in a subshell of its own: its traps end the displays and the watcher.
smoke() {
    local release=$1 native=$2 setup zip version file_version out programs checker installer
    setup=$(find "$release" -maxdepth 1 -name 'lumivo-*-setup.exe' | head -n 1)
    zip=$(find "$release" -maxdepth 1 -name 'lumivo-*-win32.zip' | head -n 1)
    if [ -z "$setup" ] || [ -z "$zip" ]; then
        say "no installer or zip in $release"
        return 1
    fi
    version=${setup##*/lumivo-}
    version=${version%-setup.exe}
    file_version=$(echo "$version" | sed -E 's/^([0-9]+\.[0-9]+\.[0-9]+).*/\1.0/')
    export LUMIVO_WINE_TIME_FACTOR=${LUMIVO_WINE_TIME_FACTOR:-$emulation_time_factor}
    # Our entry is enabled now: "wine" leads to the 64-bit loader, which
    # hands 32-bit programs to the 32-bit one under the emulator.
    lumivo_pick_wine
    out="$root/build/smoke"
    work=$(mktemp -d)
    watcher=""
    mkdir -p "$out"
    trap 'stop_watcher; stop_template_server; lumivo_stop_display; rm -rf "$work"' EXIT
    trap 'exit 130' INT TERM
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$zip" "$work"
    programs="$work/lumivo-$version"
    say "release $version: $(basename "$setup"), $(basename "$zip"); time limits x$LUMIVO_WINE_TIME_FACTOR"
    python3 "$root/tests/harness/winebox.py" watch "$lumivo_emulator" &
    watcher=$!

    cd "$out" || return 1
    export LUMIVO_E2E_TEMPLATE="$out/wine-template"
    lumivo_start_display || return 1
    part "the 64-bit prefix with its 32-bit half" \
        python3 "$root/tests/harness/winebox.py" prefix "$LUMIVO_E2E_TEMPLATE" || return 1
    # The two runs go side by side, each on a display of its own: an emulated
    # Wine process keeps one core busy for a minute at each start.
    part "lumivo.exe and prchk.exe" env LUMIVO_E2E_DISPLAY="$DISPLAY" \
        python3 "$root/tests/e2e/test_standalone.py" --exe "$programs/lumivo.exe" \
        --windows-prchk "$programs/prchk.exe" --prchk "$native/prchk/prchk" \
        --server "$native/server/checker_server" StandaloneScreen.test_shop_build_in_one_run \
        >"$work/checker.log" 2>&1 &
    checker=$!
    # Debian's python3-markdown, which the installer's guide needs, belongs to
    # Debian's interpreter.
    part "the installer" env -u LUMIVO_E2E_DISPLAY \
        /usr/bin/python3 "$root/tests/install/test_installer.py" --setup "$setup" \
        --programs "$programs/lumivo.exe" "$programs/prchk.exe" "$programs/checker_server.exe" \
        "$programs/lumivo-setup.exe" "$programs/lumivo-start.exe" \
        --version "$version" --file-version "$file_version" --arch x86 \
        --template "$LUMIVO_E2E_TEMPLATE" InstallerTest.test_install_start_upgrade_uninstall \
        >"$work/installer.log" 2>&1 &
    installer=$!
    wait "$checker"
    checker=$?
    wait "$installer"
    installer=$?
    stop_watcher
    cat "$work/checker.log" "$work/installer.log"
    [ "$checker" -eq 0 ] && [ "$installer" -eq 0 ]
}

# An interrupted prefix recipe leaves Wine's processes running in it.
stop_template_server() {
    if [ -n "${LUMIVO_E2E_TEMPLATE:-}" ]; then
        WINEPREFIX="$LUMIVO_E2E_TEMPLATE" wineserver -k 2>/dev/null
    fi
}

stop_watcher() {
    if [ -n "$watcher" ]; then
        kill "$watcher" 2>/dev/null
        wait "$watcher"
        watcher=""
    fi
}

# --- where the emulation comes from -------------------------------------------------

# Inside a user, mount and network namespace of our own: a private binfmt_misc. 76
# tells the caller that this kernel refuses it.
if [ "${1:-}" = --private ]; then
    shift
    mount -t binfmt_misc binfmt_misc "$lumivo_binfmt" 2>/dev/null || exit 76
    lumivo_register_i386 || exit 76
    # The network namespace is ours too: the checker server may listen on port
    # 1001 of a loopback address, which only root may bind.
    ip link set lo up || exit 76
    (smoke "$@")
    exit
fi

if [ $# -ne 2 ] || [ ! -d "$1" ] || [ ! -d "$2" ]; then
    sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
release=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
[ -x "$lumivo_emulator" ] || skip "no $lumivo_emulator (Debian's qemu-user-static)"
grep -qw binfmt_misc /proc/filesystems || skip "this kernel has no binfmt_misc"
lumivo_hold_wine_lock

status=76
if unshare -U -m -n -r true 2>/dev/null; then
    unshare -U -m -n -r bash "$0" --private "$release" "$native"
    status=$?
fi
if [ "$status" = 76 ]; then
    say "no private binfmt_misc here (Linux before 6.7?): a global entry $lumivo_entry, under the Wine lock"
    [ "$(id -u)" = 0 ] || skip "a global binfmt_misc entry needs root"
    mounted=""
    if [ ! -e "$lumivo_binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$lumivo_binfmt" 2>/dev/null ||
            skip "binfmt_misc cannot be mounted here"
        mounted=1
    fi
    # shellcheck disable=SC2064
    trap "lumivo_unregister_i386; ${mounted:+umount $lumivo_binfmt}" EXIT
    trap 'exit 130' INT TERM
    lumivo_register_i386 || skip "registering a binfmt_misc entry was refused"
    (smoke "$release" "$native")
    status=$?
fi
exit "$status"
