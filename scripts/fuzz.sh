#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (ASan and UBSan) in build/fuzz
# and runs each for SECONDS (default 60). Every run starts from a scratch copy
# of the committed seed corpus, so the corpus in the repository never grows.
# Inputs that break a target are kept in build/fuzz/findings/ (emptied at the
# start of each run), its log in build/fuzz/logs/. Prints the executions per
# target and one summary line; exits non-zero on any finding or failure.
#   scripts/fuzz.sh [SECONDS]
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FUZZ_SRC="$ROOT/tests/fuzz"
BUILD="$ROOT/build/fuzz"
targets=(byte_string)

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [SECONDS]" >&2
    exit 2
fi

ensure_fuzz_packages() {
    local missing=() p
    for p in clang libclang-rt-dev cmake ninja-build; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

ensure_fuzz_packages || { echo "fuzz: package installation failed"; exit 1; }

mkdir -p "$BUILD/logs"
build_log="$BUILD/logs/build.log"
generator=()
[ -f "$BUILD/CMakeCache.txt" ] || generator=(-G Ninja)
if ! cmake -S "$FUZZ_SRC" -B "$BUILD" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ \
        >"$build_log" 2>&1 ||
   ! cmake --build "$BUILD" >>"$build_log" 2>&1; then
    tail -30 "$build_log"
    echo "fuzz: build failed"
    exit 1
fi

findings="$BUILD/findings"
rm -rf "$findings" "$BUILD/run"
mkdir -p "$findings"

# A smaller quarantine keeps ASan's memory, and the page faults, in bounds.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

total_execs=0
total_findings=0
for t in "${targets[@]}"; do
    work="$BUILD/run/$t"
    log="$BUILD/logs/$t.log"
    mkdir -p "$work"
    cp "$FUZZ_SRC/corpus/$t/"* "$work/"
    dict=()
    [ -f "$FUZZ_SRC/$t.dict" ] && dict=(-dict="$FUZZ_SRC/$t.dict")
    "$BUILD/${t}_fuzz" "$work" "${dict[@]}" -max_total_time="$seconds" -max_len=1024 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/$t-" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
    execs=${execs:-0}
    found=$(find "$findings" -maxdepth 1 -name "$t-*" | wc -l)
    if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then
        found=1 # ended abnormally without leaving an input
    fi
    printf '  %-14s %12d executions, %d findings\n' "$t" "$execs" "$found"
    if [ "$found" -ne 0 ]; then
        { grep -E 'check failed|ERROR|SUMMARY|runtime error' "$log" || tail -3 "$log"; } |
            head -5 | sed 's/^/    /'
        for f in "$findings/$t-"*; do
            [ -f "$f" ] || continue
            echo "    input $f:"
            od -An -tx1 -v "$f" | head -8 | sed 's/^/     /'
        done
        echo "    log: $log"
    fi
    total_execs=$((total_execs + execs))
    total_findings=$((total_findings + found))
done

noun=targets
[ ${#targets[@]} -eq 1 ] && noun=target
echo "fuzz: ${#targets[@]} $noun, $total_execs executions, $total_findings findings"
[ "$total_findings" -eq 0 ]
