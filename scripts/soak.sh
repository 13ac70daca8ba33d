#!/usr/bin/env bash
# Soak run of the service host (tests/soak/soak.py): a service whose child
# ends at once is relaunched N times (default 10000, half an hour to an hour
# under Wine; `scripts/soak.sh 200` is a one-minute check), the host's
# handles, memory and threads are compared between the warm-up and the end,
# and the stop is timed. Installs what is missing, builds the x64 preset,
# runs in a Wine prefix of its own and writes bench/soak.md (a run shorter
# than 10000 relaunches writes soak.md in the build's soak-work folder
# instead). Not part of scripts/test.sh.
# Exits non-zero when a figure grew beyond noise, the stop was slow or the
# run failed. Safe to run again.
#   TAVI_SOAK_BUILD=build/dir   use tavi.exe and tests/win/ of that build
#                               directory instead of building the preset
set -u
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/prefix-soak}"
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT"

relaunches="${1:-10000}"
case "$relaunches" in
    ''|*[!0-9]*) echo "usage: scripts/soak.sh [RELAUNCHES]"; exit 2 ;;
esac

ensure_packages || { echo "package installation failed"; exit 1; }
if [ -n "${TAVI_SOAK_BUILD:-}" ]; then
    build_dir="$(realpath "$TAVI_SOAK_BUILD")"
else
    { cmake --preset x64 >/dev/null && cmake --build --preset x64 >/dev/null; } ||
        { echo "build failed (x64)"; exit 1; }
    build_dir="$TAVI_ROOT/build/x64"
fi
for f in tavi.exe tests/win/scmtool.exe tests/win/testchild.exe tests/win/runin.exe; do
    [ -f "$build_dir/$f" ] || { echo "missing $build_dir/$f"; exit 1; }
done

ensure_display || exit 1

export TAVI_EXE="$build_dir/tavi.exe" TAVI_TOOLS="$build_dir/tests/win"
export SOAK_WORK="$build_dir/soak-work"
run_soak='source scripts/lib.sh; ensure_prefix; python3 tests/soak/soak.py "$1"'
if [ -x "${WINE64}-preloader" ]; then
    bash -c "$run_soak" soak "$relaunches"
else
    # Without Wine's preloader (Debian's wine64-preloader package) a new
    # process maps its shared user data page only after the loader's heap,
    # which address randomisation can place across it: about one process
    # start in a thousand fails (1359, "failed to map the shared user data")
    # and ends the relaunching service. Without randomisation, which every
    # process of the prefix inherits from the one that starts services.exe,
    # the page is always free.
    stop_prefix
    setarch "$(uname -m)" -R bash -c "$run_soak" soak "$relaunches"
fi
status=$?
stop_prefix
exit $status
