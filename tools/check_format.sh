#!/bin/sh
# Fails when clang-format would change a C++ file of the tree: the checked-in
# .clang-format is the one style. Lists the files it would change.
#   tools/check_format.sh [root]     check
#   tools/check_format.sh --fix      reformat every file in place
set -eu
fix=0
if [ "${1:-}" = "--fix" ]; then fix=1; shift; fi
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
format=clang-format-14
command -v "$format" >/dev/null 2>&1 || format=clang-format

files=$(find base checker lookup scanner settings ui pricelist prchk server setuptool tests resources \
            \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
if [ "$fix" = 1 ]; then
    # shellcheck disable=SC2086
    "$format" -i $files
    exit 0
fi
changed=""
for file in $files; do
    if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
        changed="$changed $file"
    fi
done
if [ -n "$changed" ]; then
    echo "check_format: clang-format would change:$changed"
    echo "check_format: run tools/check_format.sh --fix"
    exit 1
fi
