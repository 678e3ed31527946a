#!/bin/bash
# Makes the README's screenshots of lumivo.exe from the demo price list, in
# standalone mode on a virtual display:
#   docs/screenshot-prompt.png   the prompt, as at start-up
#   docs/screenshot-result.png   two items in a row, with their total
#   docs/screenshot-weight.png   a weighed item from an in-store code
# Builds the program and the tools first (build/demo-windows-<arch>, build/demo-native).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. tools/wine-host.sh
lumivo_pick_wine

cmake -S . -B build/demo-windows-$LUMIVO_WINDOWS_ARCH -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$LUMIVO_TOOLCHAIN" >/dev/null
cmake --build build/demo-windows-$LUMIVO_WINDOWS_ARCH -j2 --target lumivo >/dev/null
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVO_BENCH=OFF >/dev/null
cmake --build build/demo-native -j2 --target prchk >/dev/null
mkdir -p docs build/screenshots

python3 - "$root" <<'EOF'
import os
import shutil
import sys
import time

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
import harness  # noqa: E402

exe = os.path.join(root, "build/demo-windows-%s/ui/lumivo.exe"
                   % os.environ["LUMIVO_WINDOWS_ARCH"])
prchk = os.path.join(root, "build/demo-native/tools/prchk")
docs = os.path.join(root, "docs")

display = harness.start_display(1024, 768)
session = None
try:
    template = harness.make_template_prefix(
        display, os.path.join(root, "build/screenshots/wine-template"))
    session = harness.new_session(display, template)
    price_file = os.path.join(session.workdir, "PRCHK.DAT")
    harness.run([prchk, "build", os.path.join(root, "tools/demo/demo_items.csv"), price_file])
    harness.write_setup(session.workdir, harness.settings_fields(
        priceFilePath=harness.windows_path(price_file), weightPrefixes=["21"],
        valuePrefixes=["22"]))
    harness.start_program(session, exe)
    harness.wait_main_window(session)

    def shoot(name, timeout=10, **expected):
        problems = harness.wait_for_screen(session, name, timeout=timeout, **expected)
        if problems:
            raise SystemExit(f"make-screenshots: {name}: {problems}")
        shutil.copy(session.shots[-1], os.path.join(docs, name + ".png"))
        print(f"make-screenshots: docs/{name}.png")

    shoot("screenshot-prompt", prompt=True)
    harness.enter_code(session, "5901234000017")
    harness.enter_code(session, "5901234000024")
    shoot("screenshot-result", price="7.99", total="14.48")
    harness.enter_code(session, "2100012012348")
    shoot("screenshot-weight", price="49.35", weight=("1.234", "kg", "39.99"), total="63.83")
    harness.press(session, "alt+k")
    code = harness.wait_exit(session)
    if code != 0:
        raise SystemExit(f"make-screenshots: lumivo.exe ended with {code}")
finally:
    if session is not None:
        harness.stop_session(session)
    harness.stop_display(display)
EOF
