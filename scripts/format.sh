#!/usr/bin/env bash
# Formats every C++ and Python source of the project in place: clang-format
# with the root's .clang-format, black with the root's pyproject.toml. The
# files are those lib.sh's tavi_sources lists, which scripts/test.sh checks
# before it builds. Running it again changes nothing.
set -u
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT" || exit 1

install_missing clang-format black || { echo "format: package installation failed"; exit 1; }
mapfile -t cpp < <(tavi_sources cpp)
mapfile -t py < <(tavi_sources py)
failed=0
if [ ${#cpp[@]} -gt 0 ]; then
    clang-format --style=file -i "${cpp[@]}" || failed=1
fi
if [ ${#py[@]} -gt 0 ]; then
    black --config pyproject.toml --quiet "${py[@]}" || failed=1
fi
echo "format: ${#cpp[@]} C++ and ${#py[@]} Python files"
[ "$failed" -eq 0 ] || { echo "format: failed"; exit 1; }
