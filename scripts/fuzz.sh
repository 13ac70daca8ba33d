#!/usr/bin/env bash
# Builds the libFuzzer target of tests/fuzz (ASan, UBSan) in build/fuzz and runs it for SECONDS
# (default 60) from a scratch copy of the seed corpus, so the corpus in the repository never grows.
# An input that breaks it is kept in build/fuzz/findings/ (emptied first), the log in build/fuzz/logs/.
# Ends with one summary line; exits non-zero on a finding or failure.
#   scripts/fuzz.sh [SECONDS]
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SRC="$ROOT/tests/fuzz"
BUILD="$ROOT/build/fuzz"
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [SECONDS]" >&2
    exit 2
fi

source "$ROOT/scripts/lib.sh"
install_missing clang libclang-rt-dev || { echo "fuzz: package installation failed"; exit 1; }

# The target with the pure sources it calls, built afresh each run (a few seconds).
mkdir -p "$BUILD/logs"
if ! clang++ -std=c++17 -g -O1 -Wall -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$ROOT" \
        -o "$BUILD/byte_string_fuzz" "$SRC/byte_string_fuzz.cpp" "$ROOT/launcher/command_line.cpp" \
        "$ROOT/settings/text.cpp" "$ROOT/settings/service_settings.cpp" "$ROOT/settings/log_names.cpp" >"$BUILD/logs/build.log" 2>&1; then
    tail -30 "$BUILD/logs/build.log"
    echo "fuzz: build failed"
    exit 1
fi

findings="$BUILD/findings"
log="$BUILD/logs/byte_string.log"
rm -rf "$findings" "$BUILD/run"
mkdir -p "$findings" "$BUILD/run"
cp "$SRC/corpus/byte_string/"* "$BUILD/run/"
# A smaller quarantine keeps ASan's memory, and the page faults, in bounds.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$BUILD/byte_string_fuzz" "$BUILD/run" -dict="$SRC/byte_string.dict" -max_total_time="$seconds" \
    -max_len=1024 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
rc=$?
execs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
found=$(find "$findings" -type f | wc -l)
[ "$rc" -ne 0 ] && [ "$found" -eq 0 ] && found=1 # ended abnormally without leaving an input
if [ "$found" -ne 0 ]; then
    { grep -E 'ERROR|SUMMARY|runtime error' "$log" || tail -3 "$log"; } | head -5 | sed 's/^/    /'
    for f in "$findings"/*; do
        [ -f "$f" ] || continue
        echo "    input $f:"
        od -An -tx1 -v "$f" | head -8 | sed 's/^/     /'
    done
    echo "    log: $log"
fi
echo "fuzz: 1 target, ${execs:-0} executions, $found findings"
[ "$found" -eq 0 ]
