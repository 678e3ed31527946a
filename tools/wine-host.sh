# Sourced by the scripts that build or run the Windows program under Wine.
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
# Needs: the project's root in $root.
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
