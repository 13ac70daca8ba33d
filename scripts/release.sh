#!/usr/bin/env bash
# Makes dist/tavi-VERSION.zip from the commit checked out (HEAD), built in a
# clean tree of its own, so that files not committed never reach a release.
# The same commit gives the same bytes in any folder at any time. Installs
# what is missing. Safe to run again: the zip is written anew.
set -u
source "$(dirname "$0")/lib.sh"
cd "$TAVI_ROOT"

ensure_packages || { echo "package installation failed"; exit 1; }
version=$(sed -n 's/^project(tavi VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt"; exit 1; }
git rev-parse --verify -q HEAD >/dev/null || { echo "release.sh needs a git checkout"; exit 1; }
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "note: changes not committed are left out; the release is HEAD's"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
git archive HEAD | tar -x -C "$tree" || exit 1
for preset in x86 x64; do
    (cd "$tree" && cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" --target tavi tavi_help >/dev/null) ||
        { echo "build failed ($preset)"; exit 1; }
done
mkdir -p dist
python3 scripts/release.py "$version" "$tree" "dist/tavi-$version.zip" || exit 1
echo "dist/tavi-$version.zip"
sha256sum "dist/tavi-$version.zip"
