#!/usr/bin/env bash
# scripts/rmse-table prints exactly the table committed as docs/rmse-table.md,
# and README.md shows that file word for word, so the figures shown in
# README.md are the ones the tool gives now.
#
#   rmse_table.sh SOURCE_DIR TOOL COEFS
#
# The script looks for BUILD/dorvenk and BUILD/src/coefs/dorvenk-coefs;
# BUILD here is a temporary folder of links to TOOL and COEFS.
set -u
SOURCE_DIR=$1
TOOL=$2
COEFS=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/src/coefs"
ln -s "$TOOL" "$work/build/dorvenk"
ln -s "$COEFS" "$work/build/src/coefs/dorvenk-coefs"

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
# README.md holds the committed table as it is.
readme=$(< "$SOURCE_DIR/README.md")
table=$(< "$SOURCE_DIR/docs/rmse-table.md")
if [[ $readme != *"$table"* ]]; then
  echo "FAIL: README.md does not show docs/rmse-table.md word for word; copy the file's text into its section"
  exit 1
fi
