#!/bin/sh
# Installs everything the project needs to build and test, from Debian's
# packages. Safe to run again: apt-get skips what is already there.
set -eu

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# Wine for the 32-bit program needs the i386 architecture. 64-bit Wine and
# compiler too: on a host that cannot run 32-bit programs the tests run a
# 64-bit build of the same sources (tests/harness/wine-host.sh).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    NEED_UPDATE=1
fi

# The release (tools/make-release.sh) and the installer test need makensis,
# osslsigncode and python3-markdown (the guide's HTML).
PACKAGES="
    build-essential cmake ninja-build pkg-config python3
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format-14
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine32:i386 wine64
    xvfb xauth x11-utils xdotool openbox imagemagick
    tesseract-ocr tesseract-ocr-pol
    socat fonts-liberation procps locales
    nsis osslsigncode python3-markdown
"

missing=""
for p in $PACKAGES; do
    # dpkg-query prints "install ok installed" for a package that is in place.
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ] || [ "${NEED_UPDATE:-0}" = 1 ]; then
    $SUDO apt-get update -q
fi
if [ -n "$missing" ]; then
    echo "install-deps: installing:$missing"
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -q --no-install-recommends $missing
fi
# The Windows program runs under Wine as on a Polish Windows (ANSI code page
# 1250), which Wine takes from the pl_PL locale; the tests also run it as on
# an English Windows (code page 1252, from en_US).
generate=0
for wanted in pl_PL en_US; do
    if ! locale -a 2>/dev/null | grep -qix "$wanted.utf8"; then
        if ! grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null; then
            echo "$wanted.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
        fi
        generate=1
    fi
done
if [ "$generate" = 1 ]; then
    $SUDO locale-gen >/dev/null
fi
echo "install-deps: all packages present"
