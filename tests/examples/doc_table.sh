#!/usr/bin/env bash
# A measurement script prints exactly the table committed in docs/, so the
# figures shown there and in README.md are the ones the programs give now.
#
#   doc_table.sh SOURCE_DIR SCRIPT DOC TOOL COEFS NOISE GENERATOR
#
# runs SOURCE_DIR/scripts/SCRIPT with a build folder of links to the four
# programs (dorvenk, dorvenk-coefs, dorvenk-noise, dorvenk-example-signals,
# where the scripts look for them) and compares its output with
# SOURCE_DIR/docs/DOC.
set -u
SOURCE_DIR=$1
SCRIPT=$2
DOC=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=$work/build
mkdir -p "$build/src/coefs" "$build/src/noise" "$build/examples"
ln -s "$4" "$build/dorvenk"
ln -s "$5" "$build/src/coefs/dorvenk-coefs"
ln -s "$6" "$build/src/noise/dorvenk-noise"
ln -s "$7" "$build/examples/dorvenk-example-signals"

bash "$SOURCE_DIR/scripts/$SCRIPT" "$build" > "$work/table.md"
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: scripts/$SCRIPT exit status $status"
  exit 1
fi
if ! cmp -s "$work/table.md" "$SOURCE_DIR/docs/$DOC"; then
  echo "FAIL: docs/$DOC differs from what scripts/$SCRIPT prints now (- committed, + now):"
  diff "$SOURCE_DIR/docs/$DOC" "$work/table.md"
  echo "If the change is meant: scripts/$SCRIPT > docs/$DOC"
  exit 1
fi
