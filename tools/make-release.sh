#!/bin/bash
# Builds what a shop PC gets, from a fresh build folder, into an output
# folder (dist/ unless named):
#   lumivo-VERSION-setup.exe   the installer (32-bit, Polish)
#   lumivo-VERSION-win32.zip   the portable programs, guide and note
#   SHA256SUMS
#
#   tools/make-release.sh [OUTPUT_FOLDER]
#
# The output folder may hold other files: only an earlier release's
# installers, zips and SHA256SUMS are replaced.
# VERSION is the project's (top CMakeLists.txt), or $LUMIVO_VERSION when set
# (e.g. 1.2.0-rc1), with "-dirty" when the tree has uncommitted changes.
#
# Signing: with LUMIVO_SIGN_PFX (a PFX file) and LUMIVO_SIGN_PASSWORD set,
# the programs, the installer and its uninstaller are signed with
# osslsigncode (installer/sign.sh); without them everything is unsigned.
# LUMIVO_SIGN_TIMESTAMP names an RFC 3161 time-stamp server; without one the
# signatures end with the certificate. Any signing that fails fails the
# release, and every signed file is verified at the end.
#
# Reproducible: an unsigned release of one commit is the same, byte for
# byte, wherever and whenever it is built; every time in it is the time of
# the last commit (SOURCE_DATE_EPOCH).
# Build folder: build/release-win32, or $LUMIVO_RELEASE_BUILD.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(mkdir -p "${1:-$root/dist}" && cd "${1:-$root/dist}" && pwd)
cd "$root"
build=${LUMIVO_RELEASE_BUILD:-build/release-win32}
# Debian's python3-markdown belongs to Debian's interpreter.
python=/usr/bin/python3

say() { echo "make-release: $*"; }

tools/install-deps.sh

suffix=""
if ! git rev-parse --git-dir >/dev/null 2>&1; then
    say "not a git checkout: no check for uncommitted changes"
elif ! git diff --quiet HEAD -- || [ -n "$(git ls-files --others --exclude-standard)" ]; then
    suffix=-dirty
    say "the tree has uncommitted changes: the version gets \"-dirty\""
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}

sign=""
if [ -n "${LUMIVO_SIGN_PFX:-}" ]; then
    if [ ! -r "$LUMIVO_SIGN_PFX" ] || [ -z "${LUMIVO_SIGN_PASSWORD+set}" ]; then
        say "LUMIVO_SIGN_PFX must name a readable PFX file and LUMIVO_SIGN_PASSWORD be set" >&2
        exit 1
    fi
    # makensis signs the installer from another folder: the path must not
    # depend on where this script was started.
    LUMIVO_SIGN_PFX=$(realpath "$LUMIVO_SIGN_PFX")
    export LUMIVO_SIGN_PFX
    sign="$root/installer/sign.sh"
    if [ -n "${LUMIVO_SIGN_TIMESTAMP:-}" ]; then
        say "signing with $LUMIVO_SIGN_PFX, time stamps from $LUMIVO_SIGN_TIMESTAMP"
    else
        say "signing with $LUMIVO_SIGN_PFX WITHOUT a time stamp (LUMIVO_SIGN_TIMESTAMP):" \
            "the signatures end when the certificate does"
    fi
else
    say "no certificate (LUMIVO_SIGN_PFX, LUMIVO_SIGN_PASSWORD): the release is NOT signed"
fi

rm -rf "$build"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
    -DLUMIVO_VERSION_OVERRIDE="${LUMIVO_VERSION:-}" -DLUMIVO_VERSION_SUFFIX="$suffix" \
    -DLUMIVO_BENCH=OFF >"$build/configure.log"
cmake --build "$build" -j2 --target lumivo prchk checker_server lumivo-setup lumivo-start

header="$build/generated/lumivo_version.h"
version=$(sed -n 's/^#define LUMIVO_VERSION "\(.*\)"$/\1/p' "$header")
file_version=$(sed -n 's/^#define LUMIVO_FILE_VERSION_TEXT "\(.*\)"$/\1/p' "$header")
say "version $version (file version $file_version)"

# Found rather than named: the folder of a target may move.
programs=()
for name in lumivo.exe prchk.exe checker_server.exe lumivo-setup.exe lumivo-start.exe; do
    programs+=("$(find "$build" -name "$name" -not -path "*/CMakeFiles/*" | head -n 1)")
done
stage="$build/stage"
"$python" installer/package.py stage --version "$version" "$stage" "${programs[@]}"
if [ -n "$sign" ]; then
    for exe in "$stage"/*.exe; do "$sign" "$exe"; done
fi

rm -f "$dist"/lumivo-*-setup.exe "$dist"/lumivo-*-win32.zip "$dist/SHA256SUMS"
setup="$dist/lumivo-$version-setup.exe"
zip="$dist/lumivo-$version-win32.zip"
"$python" installer/package.py installer --version "$version" --file-version "$file_version" \
    --arch x86 ${sign:+--sign "$sign"} "$stage" "$setup"
"$python" installer/package.py zip --version "$version" "$stage" "$zip"
(cd "$dist" && sha256sum -- "$(basename "$setup")" "$(basename "$zip")" >SHA256SUMS)

# Every signed file carries its signature: the programs (in the zip and in
# the installer) and the installer; sign.sh checked the uninstaller when it
# signed it, inside makensis.
if [ -n "$sign" ]; then
    for signed in "$stage"/*.exe "$setup"; do
        "$root/installer/sign.sh" --verify "$signed"
    done
    say "every signature verified"
fi

say "done:"
ls -l "$dist"
