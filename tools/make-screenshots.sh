#!/bin/bash
# Makes the pictures of lumivo.exe from the demo price list, in standalone
# mode on a virtual display (tools/make_screenshots.py):
#   docs/screenshot-prompt.png   the prompt, as at start-up       (README)
#   docs/screenshot-result.png   two items in a row, with their total
#   docs/screenshot-weight.png   a weighed item from an in-store code
#   docs/podrecznik-*.png        the same three for the user guide, and its
#                                "Konfiguracja" dialog and "Brak pliku" warning
# Builds the program and the tools first (build/demo-windows-<arch>, build/demo-native).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tests/harness/wine-host.sh
lumivo_pick_wine
lumivo_build_demo

python3 tools/make_screenshots.py --exe "$lumivo_demo_exe" --prchk "$lumivo_demo_prchk" \
    --docs "$root/docs" --work "$root/build/screenshots"
