#!/usr/bin/env bash
# Shows tavi's main job under Wine: a sample program registered as a service
# with tavi's command-line installer, started, watched, stopped and removed.
# Installs what is missing and builds first. Stops the X and Wine servers it
# started. Safe to run again.
set -u
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT"
trap stop_started EXIT

ensure_packages || { echo "package installation failed"; exit 1; }
for preset in x64 x86; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null ||
        { echo "build failed ($preset)"; exit 1; }
done
ensure_display || exit 1
ensure_prefix

export TAVI_EXE="$TAVI_ROOT/build/x64/tavi.exe" TAVI_PROBE="$TAVI_ROOT/build/x64/tests/probe.exe"
export TAVI_WORK="$TAVI_ROOT/build/x64/wine-work"
python3 "$TAVI_ROOT/scripts/demo.py"
