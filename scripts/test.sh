#!/usr/bin/env bash
# Installs what is missing, checks that the sources are formatted (as
# scripts/format.sh leaves them), builds both executables and the unit tests,
# runs every native and Wine test, and ends with one summary line. Exits
# non-zero on any failure. Stops the X and Wine servers it started. Safe to
# run again.
set -u
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT"
trap stop_started EXIT

ensure_packages || { echo "package installation failed"; exit 1; }
echo "== format (clang-format, black)"
check_format || { echo "format check failed: run scripts/format.sh"; exit 1; }
build_all || { echo "build failed"; exit 1; }

summary() { # "failed total" from a ctest log
    sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$1" |
        tail -1
}

echo "== native unit tests (ASan, UBSan)"
ctest --preset native 2>&1 | tee build/native-ctest.log | tail -3

echo "== Wine tests (x64 tavi.exe)"
ensure_display || exit 1
ensure_prefix
ctest --preset x64 2>&1 | tee build/wine-ctest.log | grep -vE '^ *$'

read -r nf nt < <(summary build/native-ctest.log)
read -r wf wt < <(summary build/wine-ctest.log)
failed=$(( ${nf:-1} + ${wf:-1} ))
total=$(( ${nt:-0} + ${wt:-0} ))
echo
echo "tests: $(( total - failed )) passed, $failed failed"
[ "$failed" -eq 0 ] && [ -n "${nt:-}" ] && [ -n "${wt:-}" ]
