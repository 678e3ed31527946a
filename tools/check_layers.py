#!/usr/bin/env python3
"""Fails when a source file includes a folder that is not below its own.

The program is built in layers, and every include must look down:

    prchk/  server/  setuptool/
                        (the programs shipped beside the checker)
    ui/  pricelist/     (side by side: the checker's window; the price-list
                         library, which only prchk/ and server/ include)
    checker/  scanner/  (side by side)
    lookup/
    settings/
    base/  resources/   (resources/ holds ids only)

A lower folder that needs something from above declares it in a seam header
of its own and the higher folder defines it. Tests may include anything.
Prints each include that looks up or sideways and exits 1, else exits 0.
"""

import pathlib
import re
import sys

RANK = {"base": 0, "resources": 0, "settings": 1, "lookup": 2,
        "checker": 3, "scanner": 3, "ui": 4, "pricelist": 4, "prchk": 5, "server": 5,
        "setuptool": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)


def looking_up(root):
    for folder in RANK:
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".cpp", ".h", ".rc"):
                continue
            for included in INCLUDE.findall(path.read_text(errors="replace")):
                if included == folder or included not in RANK:
                    continue
                if RANK[included] >= RANK[folder]:
                    yield f"{path.relative_to(root)} includes {included}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = list(looking_up(root))
    for fault in faults:
        print(f"check_layers: {fault}, which is not below {fault.split('/')[0]}/")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
