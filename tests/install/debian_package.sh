#!/usr/bin/env bash
# The Debian package CPack makes from the build: its name
# dorvenk_<version>_<arch>.deb, its files (the same as `cmake --install`
# puts under /usr), and its metadata: Depends computed from the binaries
# (libc6, libstdc++6), Recommends gnuplot-nox, a maintainer, a section, a
# description. The package is made in a temporary folder.
#
#   debian_package.sh SOURCE_DIR BUILD_DIR VERSION COMMANDS
#
# COMMANDS: the commands that must land in /usr/bin, separated by commas.
set -u
SOURCE_DIR=$1
BUILD_DIR=$2
VERSION=$3
COMMANDS=$4
export LC_ALL=C
source "$(dirname "${BASH_SOURCE[0]}")/expected_files.sh"

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

if ! cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/package/dorvenk_${VERSION}_${arch}.deb
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made: $(cd "$work/package" && ls)"
  exit 1
fi

# The files: every one under /usr, as the staged install has them.
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | sort | tr '\n' ' ')
wanted=$(expected_files "$SOURCE_DIR" "$COMMANDS")
[ "$files" = "$wanted" ] || fail "the package holds [$files], expected [$wanted]"
dpkg-deb --contents "$deb" | awk '$6 ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x" { print }' | grep -q . &&
  fail "a program in usr/bin is not mode 755"

# The metadata.
info=$(dpkg-deb --field "$deb")
field() { awk -v name="$1" 'index($0, name ": ") == 1 { print substr($0, length(name) + 3) }' <<< "$info"; }
[ "$(field Package)" = dorvenk ] || fail "Package: [$(field Package)]"
[ "$(field Version)" = "$VERSION" ] || fail "Version: [$(field Version)], expected $VERSION"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: [$(field Architecture)]"
depends=$(field Depends)
for library in libc6 libstdc++6; do
  awk -v lib="$library" 'BEGIN { RS = ", " } index($0, lib " (>= ") == 1 { found = 1 } END { exit !found }' <<< "$depends" ||
    fail "Depends [$depends] lacks a versioned $library"
done
[ "$(field Recommends)" = gnuplot-nox ] || fail "Recommends: [$(field Recommends)], expected gnuplot-nox"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Section)" ] || fail "no Section"
[ -n "$(field Priority)" ] || fail "no Priority"
[ -n "$(field Description)" ] || fail "no Description"
dpkg-deb --info "$deb" > /dev/null || fail "dpkg-deb --info fails"

if [ $failed -ne 0 ]; then
  echo "dpkg-deb --info:"
  dpkg-deb --info "$deb"
  exit 1
fi
echo "$(basename "$deb"): Depends: $depends; Recommends: $(field Recommends)"
