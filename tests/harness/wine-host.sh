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
# PATH. Sets and exports:
#   LUMIVO_WINDOWS_ARCH   i686 or x86_64
#   LUMIVO_TOOLCHAIN      the CMake toolchain file for that build
lumivo_pick_wine() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
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
# and the native prchk and checker_sim in build/demo-native (after
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
    cmake --build "$native" -j2 --target prchk checker_sim || return 1
    # Found rather than named: the folder of the exe's target may move.
    lumivo_demo_exe=$(find "$windows" -name lumivo.exe -not -path "*/CMakeFiles/*" | head -n 1)
    lumivo_demo_prchk="$native/prchk/prchk"
    lumivo_demo_server="$native/server/checker_sim"
}
