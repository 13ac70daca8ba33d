# Shared by the scripts: installs what is missing, builds, and brings up the
# Wine prefix and the X display the tests use. Sourced, not run.

TAVI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="${WINEPREFIX:-$TAVI_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINE64 WINESERVER TAVI_ROOT

# Every Windows program runs with code page 932, so that its ANSI texts are
# Shift_JIS as on a Japanese system. Only Wine sees this locale: the host
# has not generated it.
wine() { LC_ALL=ja_JP.UTF-8 "$WINE64" "$@"; }
wineserver() { LC_ALL=ja_JP.UTF-8 "$WINESERVER" "$@"; }

# wine64-preloader keeps Wine from failing about one process start in a
# thousand (the shared user data cannot be mapped where address-space
# randomisation has put something else).
tavi_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine64-preloader xvfb xauth cmake
               ninja-build googletest fonts-ipafont-gothic x11-utils python3 locales
               clang-format black fp-utils)

# Wine maps Unix file names through the host locale: without ja_JP.UTF-8
# generated, a folder named ソ reaches Windows programs as ASCII garbage.
ensure_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\{0,1\}8$' && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 >/dev/null 2>&1
}

# Installs those of the packages named that are not installed yet.
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

ensure_packages() {
    install_missing "${tavi_packages[@]}" && ensure_locale
}

# The project's own sources of one kind, "cpp" (*.cpp, *.h) or "py", one path a
# line relative to the root: those git knows and new ones it does not ignore,
# so build/ and dist/ never appear; without git, those find sees outside them.
tavi_sources() {
    local dirs patterns=() d
    case "$1" in
        cpp) dirs=(launcher settings scm service ui resources tests bench)
             for d in "${dirs[@]}"; do patterns+=("$d/*.cpp" "$d/*.h"); done ;;
        py) patterns=("tests/*.py" "scripts/*.py" "bench/*.py") ;;
        *) echo "tavi_sources: cpp or py" >&2; return 2 ;;
    esac
    (
        cd "$TAVI_ROOT" || exit 1
        if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
            git ls-files --cached --others --exclude-standard -- "${patterns[@]}"
        else
            local names=()
            for d in "${patterns[@]}"; do names+=(-o -path "./$d"); done
            find . \( -path ./build -o -path ./dist -o -path ./.git \) -prune \
                -o -type f \( "${names[@]:1}" \) -print | sed 's|^\./||'
        fi | sort -u | while IFS= read -r f; do if [ -f "$f" ]; then printf '%s\n' "$f"; fi; done
    )
}

# Whether every source is formatted as scripts/format.sh leaves it; names
# those that are not. Each tool runs once over all its files and names a
# file in its complaints; a failure of another kind is shown as it is.
check_format() {
    local cpp=() py=() bad=() out rc
    mapfile -t cpp < <(tavi_sources cpp)
    mapfile -t py < <(tavi_sources py)
    if [ ${#cpp[@]} -gt 0 ]; then
        rc=0
        out=$(cd "$TAVI_ROOT" && clang-format --style=file --dry-run --Werror "${cpp[@]}" 2>&1) ||
            rc=$?
        if [ "$rc" -ne 0 ]; then
            mapfile -t -O ${#bad[@]} bad < <(printf '%s\n' "$out" |
                sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' |
                uniq)
            [ ${#bad[@]} -eq 0 ] && { echo "$out"; bad+=("(clang-format failed)"); }
        fi
    fi
    if [ ${#py[@]} -gt 0 ]; then
        rc=0
        out=$(cd "$TAVI_ROOT" && black --config pyproject.toml --check "${py[@]}" 2>&1) || rc=$?
        if [ "$rc" -ne 0 ]; then
            local before=${#bad[@]}
            mapfile -t -O ${#bad[@]} bad < <(printf '%s\n' "$out" |
                sed -n 's/^would reformat //p; s/^error: cannot format \([^:]*\):.*/\1/p')
            [ ${#bad[@]} -eq "$before" ] && { echo "$out"; bad+=("(black failed)"); }
        fi
    fi
    [ ${#bad[@]} -eq 0 ] && return 0
    echo "not formatted (run scripts/format.sh):"
    printf '    %s\n' "${bad[@]}"
    return 1
}

build_all() {
    cd "$TAVI_ROOT"
    for preset in native x64 x86; do
        cmake --preset "$preset" >/dev/null || return 1
        cmake --build --preset "$preset" || return 1
    done
}

# An X display of our own: message boxes and cross-process window messages
# need one (Wine's null driver shows EnumWindows no windows). One that this
# shell started is remembered, so that stop_started stops it and no other.
TAVI_STARTED_XVFB=""
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n i
    for n in $(seq 90 120); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        TAVI_STARTED_XVFB=$!
        export DISPLAY=":$n"
        for i in $(seq 1 100); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$TAVI_STARTED_XVFB" 2>/dev/null || break
            sleep 0.1
        done
        kill "$TAVI_STARTED_XVFB" 2>/dev/null
        TAVI_STARTED_XVFB=""
    done
    echo "could not start Xvfb" >&2
    return 1
}

# Whether a Wine server runs for the prefix: its socket lives in a folder
# named after the prefix's device and inode.
prefix_server_running() {
    [ -d "$WINEPREFIX" ] || return 1
    local dir
    dir=$(printf '/tmp/.wine-%s/server-%x-%x' "$(id -u)" "$(stat -c %d "$WINEPREFIX")" \
        "$(stat -c %i "$WINEPREFIX")")
    [ -S "$dir/socket" ]
}

# The prefix is made once under build/, in the order that leaves exactly one
# services.exe: wineboot, wait for its server to end, then a persistent server.
# A server that this shell started is remembered for stop_started.
TAVI_STARTED_SERVER=""
ensure_prefix() {
    prefix_server_running || TAVI_STARTED_SERVER=1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    (
        wineserver -p >/dev/null 2>&1
        # One command to bring services.exe up; its output must not be a pipe.
        # Windows unmanaged by the (absent) window manager: Wine otherwise waits
        # two seconds for one whenever a window closes, a message box included.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    )
}

# Stops the Wine server and the X server that this shell started, and only
# those; scripts call it on exit, also when a test failed.
stop_started() {
    if [ -n "$TAVI_STARTED_SERVER" ]; then
        wineserver -k >/dev/null 2>&1 || true
        TAVI_STARTED_SERVER=""
    fi
    if [ -n "$TAVI_STARTED_XVFB" ]; then
        kill "$TAVI_STARTED_XVFB" 2>/dev/null && wait "$TAVI_STARTED_XVFB" 2>/dev/null
        TAVI_STARTED_XVFB=""
    fi
}
