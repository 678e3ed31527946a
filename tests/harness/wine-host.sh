# shellcheck shell=bash
# Sourced by the scripts that build or run the Windows program under Wine.
# Needs: the project's root in $root. The display and prefix recipes
# themselves live in tests/harness/winebox.py; these functions are their shell face.
#
# lumivo_pick_wine: decides which Windows build this machine can run and
# makes the plain "wine" command run it. Shops get 32-bit code, and where the
# kernel runs 32-bit programs the tests use the same 32-bit build under 32-bit
# Wine. Some virtual machines cannot run 32-bit programs at all; Debian's
# "wine" wrapper still picks the 32-bit loader there, which fails with "Exec
# format error". On such a host the tests build the same sources as 64-bit
# code and run them under 64-bit Wine: "wine" (and wineboot, which calls
# wine-stable) then lead to the 64-bit loader through a folder put first on
# PATH. A 32-bit program run that way still starts: the 64-bit loader hands
# it to the 32-bit one.
#
# The 32-bit loader also answers where an enabled binfmt_misc entry hands
# 32-bit programs to an emulator (the smoke step's own, or another's), about
# fifty times slower than native: that is never taken for a kernel that runs
# 32-bit programs. LUMIVO_FORCE_EMULATION=1 takes the 64-bit way on any host,
# with the shop build's smoke run under emulation (tools/smoke-shop-build.sh).
# Sets and exports:
#   LUMIVO_WINDOWS_ARCH   i686 or x86_64
#   LUMIVO_TOOLCHAIN      the CMake toolchain file for that build
lumivo_pick_wine() {
    if [ "${LUMIVO_FORCE_EMULATION:-0}" != 1 ] && ! lumivo_i386_entry_enabled &&
        /usr/lib/wine/wine --version >/dev/null 2>&1; then
        LUMIVO_WINDOWS_ARCH=i686
    else
        LUMIVO_WINDOWS_ARCH=x86_64
        local shim="$root/build/wine64-commands"
        mkdir -p "$shim"
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
                >"$shim/$name"
            chmod +x "$shim/$name"
        done
        case ":$PATH:" in
            *":$shim:"*) ;;
            *) PATH="$shim:$PATH" ;;
        esac
        export PATH
    fi
    LUMIVO_TOOLCHAIN="$root/cmake/toolchain-mingw-$LUMIVO_WINDOWS_ARCH.cmake"
    export LUMIVO_WINDOWS_ARCH LUMIVO_TOOLCHAIN
}

# --- 32-bit programs under emulation ------------------------------------------
# qemu's user-mode emulator runs Debian's 32-bit Wine unchanged through one
# binfmt_misc entry for 32-bit x86 ELF programs: magic and mask as qemu's
# qemu-binfmt-conf.sh writes them (ELF class 32, little-endian, executable or
# shared object, machine 3); flag F opens the emulator once, at registration,
# so that it serves whatever the mount namespace of the program.
lumivo_binfmt=/proc/sys/fs/binfmt_misc
lumivo_entry=lumivo-i386
lumivo_emulator=/usr/bin/qemu-i386-static
lumivo_i386_rule=":$lumivo_entry:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$lumivo_emulator:F"

# lumivo_i386_entry_enabled: true when an enabled binfmt_misc entry (anyone's)
# takes 32-bit x86 programs (machine 3 or 6 at offset 18) in this namespace.
lumivo_i386_entry_enabled() {
    local entry magic
    [ "$(cat "$lumivo_binfmt/status" 2>/dev/null)" = enabled ] || return 1
    for entry in "$lumivo_binfmt"/*; do
        case "${entry##*/}" in register | status) continue ;; esac
        [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] || continue
        grep -qx 'offset 0' "$entry" || continue
        magic=$(sed -n 's/^magic //p' "$entry")
        case "$magic" in
            7f454c4601??????????????????????????0[36]00*) return 0 ;;
        esac
    done
    return 1
}

# lumivo_register_i386: registers our entry in the binfmt_misc mounted at
# $lumivo_binfmt and checks that the 32-bit Wine loader then runs. An entry
# of our name is one that a run of ours left; no other entry is touched.
lumivo_register_i386() {
    if [ -e "$lumivo_binfmt/$lumivo_entry" ]; then
        echo -1 >"$lumivo_binfmt/$lumivo_entry" || return 1
    fi
    printf '%s' "$lumivo_i386_rule" >"$lumivo_binfmt/register" 2>/dev/null || return 1
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# lumivo_unregister_i386: removes our entry, if it is there.
lumivo_unregister_i386() {
    if [ -e "$lumivo_binfmt/$lumivo_entry" ]; then
        echo -1 >"$lumivo_binfmt/$lumivo_entry"
    fi
}

# lumivo_hold_wine_lock: waits for the machine's Wine lock
# (${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock}) and keeps it on descriptor 9
# until lumivo_release_wine_lock or the shell's end; children inherit it. Nothing to do when this process
# holds it already: LUMIVO_WINE_LOCK_HELD=1, or a descriptor inherited from
# "flock LOCK command" (locking it again then succeeds at once). Opening the
# file anew and waiting would wait for ourselves.
lumivo_lock_taken=""
lumivo_hold_wine_lock() {
    local lock=${LUMIVO_WINE_LOCK:-/tmp/lumivo-wine.lock} fd
    [ "${LUMIVO_WINE_LOCK_HELD:-0}" = 1 ] && return 0
    for fd in /proc/"${BASHPID:-$$}"/fd/*; do
        if [ "$(readlink "$fd")" = "$lock" ] && flock -n "${fd##*/}" 2>/dev/null; then
            export LUMIVO_WINE_LOCK_HELD=1
            return 0
        fi
    done
    exec 9>>"$lock"
    flock 9
    lumivo_lock_taken=1
    export LUMIVO_WINE_LOCK_HELD=1
}

# lumivo_release_wine_lock: lets the lock go, if lumivo_hold_wine_lock took it.
lumivo_release_wine_lock() {
    if [ -n "$lumivo_lock_taken" ]; then
        flock -u 9
        exec 9>&-
        lumivo_lock_taken=""
        unset LUMIVO_WINE_LOCK_HELD
    fi
}

# lumivo_start_display: a virtual display with a window manager, kept by one
# process of tests/harness/winebox.py until lumivo_stop_display ends it by its PID.
# Sets and exports DISPLAY; returns non-zero when no display came up.
lumivo_display_pid=""
lumivo_start_display() {
    local name_file
    name_file=$(mktemp)
    python3 "$root/tests/harness/winebox.py" display >"$name_file" &
    lumivo_display_pid=$!
    # Up to three tries of Xvfb and openbox, 15 s each at worst.
    for _ in $(seq 500); do
        [ -s "$name_file" ] && break
        kill -0 "$lumivo_display_pid" 2>/dev/null || break
        sleep 0.1
    done
    DISPLAY=$(head -n 1 "$name_file")
    rm -f "$name_file"
    if [ -z "$DISPLAY" ]; then
        unset DISPLAY
        lumivo_stop_display
        echo "wine-host: no virtual display came up" >&2
        return 1
    fi
    export DISPLAY
}

lumivo_stop_display() {
    if [ -n "$lumivo_display_pid" ]; then
        kill "$lumivo_display_pid" 2>/dev/null || true
        wait "$lumivo_display_pid" 2>/dev/null || true
        lumivo_display_pid=""
    fi
}

# lumivo_use_prefix PATH: makes the Wine prefix at PATH once (on $DISPLAY,
# with the shop PC's font substitutes) and exports what Wine needs to run in it.
lumivo_use_prefix() {
    python3 "$root/tests/harness/winebox.py" prefix "$1" || return 1
    lumivo_wine_env "$1"
}

# lumivo_wine_env PATH: exports what Wine needs to run in the prefix at PATH,
# which is used as it is.
lumivo_wine_env() {
    local exports
    exports=$(python3 "$root/tests/harness/winebox.py" env "$1") || return 1
    eval "$exports"
}

# lumivo_build_demo: lumivo.exe for this host's Wine in build/demo-windows-ARCH
# and the native prchk and checker_server in build/demo-native (after
# lumivo_pick_wine). Sets lumivo_demo_exe, lumivo_demo_prchk and
# lumivo_demo_server.
lumivo_build_demo() {
    local windows="$root/build/demo-windows-$LUMIVO_WINDOWS_ARCH"
    local native="$root/build/demo-native"
    cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
        -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" >/dev/null || return 1
    cmake --build "$windows" -j2 --target lumivo || return 1
    cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=OFF \
        >/dev/null || return 1
    cmake --build "$native" -j2 --target prchk checker_server || return 1
    # Found rather than named: the folder of the exe's target may move.
    lumivo_demo_exe=$(find "$windows" -name lumivo.exe -not -path "*/CMakeFiles/*" | head -n 1)
    lumivo_demo_prchk="$native/prchk/prchk"
    lumivo_demo_server="$native/server/checker_server"
}
