#!/bin/sh
# Installs everything the project needs to build and test, from Debian's
# packages. Safe to run again: apt-get skips what is already there.
set -eu

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# Seconds between two tries of "apt-get update" (settable for the tests).
RETRY_PAUSE=${LUMIVO_APT_RETRY_PAUSE:-60}
OS_RELEASE=${LUMIVO_OS_RELEASE:-/etc/os-release}
LOCALE_GEN=${LUMIVO_LOCALE_GEN:-/etc/locale.gen}
APT_LOG=$(mktemp)
trap 'rm -f "$APT_LOG" "$APT_LOG.status"' EXIT

# Runs apt-get with its output shown as it comes and kept in $APT_LOG;
# returns apt-get's status.
apt_get() {
    { rc=0; $SUDO apt-get "$@" 2>&1 || rc=$?; echo "$rc" >"$APT_LOG.status"; } | tee "$APT_LOG"
    status=$(cat "$APT_LOG.status")
    rm -f "$APT_LOG.status"
    return "$status"
}

# A Debian mirror in mid-sync serves an index whose size does not match the
# release file ("Mirror sync in progress?"): apt-get update then fails on
# that index alone. Tried twice more after a pause; after that the install
# goes on with the lists at hand. Any other failure stops here.
update_package_lists() {
    for try in 1 2 3; do
        if apt_get update -q; then
            return 0
        fi
        if ! grep -q "Some index files failed to download" "$APT_LOG"; then
            echo "install-deps: apt-get update failed (see its message above)" >&2
            exit 1
        fi
        if [ "$try" -lt 3 ]; then
            echo "install-deps: some package lists failed to download (a mirror in mid-sync?); trying again in $RETRY_PAUSE s"
            sleep "$RETRY_PAUSE"
        fi
    done
    echo "install-deps: some package lists still fail to download; going on with the lists at hand"
}

# A mirror in mid-sync can also hold a newer amd64 package in the security
# suite than its i386 twin in the release suite: a multi-arch package (libwine
# needs both) then has unmet dependencies. Pinned to the release suite by its
# code name, the two match again.
install_packages() {
    if apt_get install -y -q --no-install-recommends "$@"; then
        return 0
    fi
    if ! grep -q "unmet dependencies" "$APT_LOG"; then
        echo "install-deps: apt-get install failed (see its message above)" >&2
        exit 1
    fi
    codename=$(. "$OS_RELEASE" 2>/dev/null && echo "${VERSION_CODENAME:-}")
    if [ -z "$codename" ]; then
        echo "install-deps: unmet dependencies, and no VERSION_CODENAME in $OS_RELEASE to pin the release suite" >&2
        exit 1
    fi
    echo "install-deps: unmet dependencies (suites out of step?); trying again pinned to the release suite: -t $codename"
    if ! apt_get install -y -q --no-install-recommends -t "$codename" "$@"; then
        echo "install-deps: apt-get install -t $codename failed (see its message above)" >&2
        exit 1
    fi
}

# Wine for the 32-bit program needs the i386 architecture. 64-bit Wine and
# compiler too: on a host that cannot run 32-bit programs the tests run a
# 64-bit build of the same sources (tests/harness/wine-host.sh).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    NEED_UPDATE=1
fi

# The release (tools/make-release.sh) and the installer test need makensis,
# osslsigncode and python3-markdown (the guide's HTML). qemu-user-static runs
# the shop's 32-bit build under emulation where the kernel refuses 32-bit
# programs (tools/test-all.sh's smoke step).
PACKAGES="
    build-essential cmake ninja-build pkg-config python3
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format-14
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine32:i386 wine64
    xvfb xauth x11-utils xdotool openbox imagemagick
    tesseract-ocr tesseract-ocr-pol
    socat fonts-liberation procps locales iproute2
    nsis osslsigncode python3-markdown
    qemu-user-static
"

missing=""
for p in $PACKAGES; do
    # dpkg-query prints "install ok installed" for a package that is in place.
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ] || [ "${NEED_UPDATE:-0}" = 1 ]; then
    update_package_lists
fi
if [ -n "$missing" ]; then
    echo "install-deps: installing:$missing"
    # shellcheck disable=SC2086
    install_packages $missing
fi
# The Windows program runs under Wine as on a Polish Windows (ANSI code page
# 1250), which Wine takes from the pl_PL locale; the tests also run it as on
# an English Windows (code page 1252, from en_US).
generate=0
for wanted in pl_PL en_US; do
    if ! locale -a 2>/dev/null | grep -qix "$wanted.utf8"; then
        if ! grep -q "^$wanted.UTF-8 UTF-8" "$LOCALE_GEN" 2>/dev/null; then
            echo "$wanted.UTF-8 UTF-8" | $SUDO tee -a "$LOCALE_GEN" >/dev/null
        fi
        generate=1
    fi
done
if [ "$generate" = 1 ]; then
    $SUDO locale-gen >/dev/null
fi
echo "install-deps: all packages present"
