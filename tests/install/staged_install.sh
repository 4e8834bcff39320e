#!/usr/bin/env bash
# `cmake --install` into a staging folder (DESTDIR, prefix /usr), then the
# installed tools run from there, found through PATH, in an empty
# directory: the files land where GNUInstallDirs puts them, dorvenk
# denoises a bundled example from its answer file exactly as the built tool
# does, dorvenk-coefs prints order 2, every --version shows the project's
# version, dorvenk-plot draws the result, and the manual pages carry it.
#
#   staged_install.sh SOURCE_DIR BUILD_DIR VERSION COMMANDS
#
# COMMANDS: the commands that must land in bin/, separated by commas.
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

stage=$work/stage
if ! DESTDIR=$stage cmake --install "$BUILD_DIR" --prefix /usr > "$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
usr=$stage/usr

# The files, where they belong.
installed=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | sort | tr '\n' ' ')
wanted=$(expected_files "$SOURCE_DIR" "$COMMANDS")
[ "$installed" = "$wanted" ] || fail "installed [$installed], expected [$wanted]"
for program in ${COMMANDS//,/ }; do
  [ -x "$usr/bin/$program" ] || fail "bin/$program is not executable"
done
cmp -s "$usr/share/doc/dorvenk/copyright" "$SOURCE_DIR/LICENSE" || fail "share/doc/dorvenk/copyright is not LICENSE"

# The manual pages: gzip'd without a name or time stamp, the version in.
for page in "$usr"/share/man/man1/*.1.gz; do
  [ -e "$page" ] || continue
  name=$(basename "$page" .gz)
  text=$(gzip -dc "$page") || { fail "$name.gz does not decompress"; continue; }
  case $text in *@PROJECT_VERSION@*) fail "$name still holds @PROJECT_VERSION@" ;; esac
  grep -q "^\.TH .*$VERSION" <<< "$text" || fail "the .TH line of $name does not name version $VERSION"
done

# The installed tools from PATH, in an empty directory.
export PATH=$usr/bin:$PATH
# The installed example; its answer file names the data file examples/doppler.
run=$work/run
mkdir -p "$run/examples"
cp "$usr/share/doc/dorvenk/examples/doppler.txt" "$run/examples/"
[ "$(command -v dorvenk)" = "$usr/bin/dorvenk" ] || fail "dorvenk from PATH is $(command -v dorvenk)"
(cd "$run" && setsid -w dorvenk < "$usr/share/doc/dorvenk/examples/doppler.answers" > stdout 2> stderr)
status=$?
[ $status -eq 0 ] || fail "installed dorvenk exit status $status: $(cat "$run/stderr")"
[ -s "$run/examples/doppler-dN.txt" ] || fail "installed dorvenk wrote no result file"
[ -s "$run/wavelet_log.txt" ] || fail "installed dorvenk wrote no run log"
# The built tool in a second directory gives the same bytes.
mkdir -p "$work/built/examples"
cp "$SOURCE_DIR/examples/doppler.txt" "$work/built/examples/"
(cd "$work/built" && setsid -w "$BUILD_DIR/dorvenk" < "$SOURCE_DIR/examples/doppler.answers" > stdout 2> stderr)
cmp -s "$run/examples/doppler-dN.txt" "$work/built/examples/doppler-dN.txt" || fail "installed and built dorvenk differ in the result file"
cmp -s "$run/stdout" "$work/built/stdout" || fail "installed and built dorvenk differ on standard output"

(cd "$run" && dorvenk-coefs 2 > coefs 2> coefs.err)
status=$?
[ $status -eq 0 ] || fail "dorvenk-coefs 2 exit status $status"
printf '%s\n' 0.48296291314453416 0.83651630373780794 0.22414386804201339 -0.12940952255126037 > "$work/coefs2"
cmp -s "$run/coefs" "$work/coefs2" || fail "dorvenk-coefs 2 printed [$(cat "$run/coefs")]"

# Every command but the tool itself, which takes no arguments, tells the
# project's version.
for program in ${COMMANDS//,/ }; do
  [ "$program" = dorvenk ] && continue
  shown=$(cd "$run" && "$program" --version 2>&1)
  [ "$shown" = "$program $VERSION" ] || fail "$program --version shows [$shown], expected [$program $VERSION]"
done

(cd "$run" && dorvenk-plot examples/doppler-dN.txt > plot.out 2>&1)
status=$?
[ $status -eq 0 ] || fail "dorvenk-plot exit status $status: $(cat "$run/plot.out")"
[ "$(od -An -tx1 -N8 "$run/examples/doppler-dN.png" 2> /dev/null | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
  fail "dorvenk-plot wrote no PNG"

left=$(cd "$run" && find . -type f | sort | tr '\n' ' ')
[ "$left" = "./coefs ./coefs.err ./examples/doppler-dN.png ./examples/doppler-dN.txt ./examples/doppler.txt ./plot.out ./stderr ./stdout ./wavelet_log.txt " ] ||
  fail "the run left [$left]"

if [ $failed -ne 0 ]; then exit 1; fi
echo "installed into $usr and run from there: OK"
