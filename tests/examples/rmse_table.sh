#!/usr/bin/env bash
# scripts/rmse-table prints exactly the table committed as docs/rmse-table.md,
# and README.md shows that file word for word, so the figures shown in
# README.md are the ones the tool gives now.
#
#   rmse_table.sh SOURCE_DIR TOOL COEFS NOISE
#
# The script looks for BUILD/dorvenk, BUILD/src/coefs/dorvenk-coefs and
# BUILD/src/noise/dorvenk-noise; BUILD here is a temporary folder of links to
# TOOL, COEFS and NOISE. README.md must show the same table.
set -u
SOURCE_DIR=$1
TOOL=$2
COEFS=$3
NOISE=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/src/coefs" "$work/build/src/noise"
ln -s "$TOOL" "$work/build/dorvenk"
ln -s "$COEFS" "$work/build/src/coefs/dorvenk-coefs"
ln -s "$NOISE" "$work/build/src/noise/dorvenk-noise"

bash "$SOURCE_DIR/scripts/rmse-table" "$work/build" > "$work/table.md"
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: scripts/rmse-table exit status $status"
  exit 1
fi
if ! cmp -s "$work/table.md" "$SOURCE_DIR/docs/rmse-table.md"; then
  echo "FAIL: docs/rmse-table.md differs from what scripts/rmse-table prints now (- committed, + now):"
  diff "$SOURCE_DIR/docs/rmse-table.md" "$work/table.md"
  echo "If the change is meant: scripts/rmse-table > docs/rmse-table.md"
  exit 1
fi
# README.md shows the committed table whole, as one block of its lines.
if ! awk 'NR == FNR { table = table $0 "\n"; next } { readme = readme $0 "\n" }
    END { exit index(readme, table) ? 0 : 1 }' "$SOURCE_DIR/docs/rmse-table.md" "$SOURCE_DIR/README.md"; then
  echo "FAIL: README.md does not hold docs/rmse-table.md as it is; copy it into the section on the examples"
  exit 1
fi
