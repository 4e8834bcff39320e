#!/usr/bin/env bash
# scripts/noise-accuracy prints exactly the table committed as
# docs/noise-accuracy.md, from which the default order of dorvenk-noise was
# chosen, so the figures shown are the ones the command gives now.
#
#   noise_accuracy.sh SOURCE_DIR NOISE GENERATOR
#
# The script looks for BUILD/src/noise/dorvenk-noise and
# BUILD/examples/dorvenk-example-signals; BUILD here is a temporary folder of
# links to NOISE and GENERATOR.
set -u
SOURCE_DIR=$1
NOISE=$2
GENERATOR=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/src/noise" "$work/build/examples"
ln -s "$NOISE" "$work/build/src/noise/dorvenk-noise"
ln -s "$GENERATOR" "$work/build/examples/dorvenk-example-signals"

bash "$SOURCE_DIR/scripts/noise-accuracy" "$work/build" > "$work/table.md"
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: scripts/noise-accuracy exit status $status"
  exit 1
fi
if ! cmp -s "$work/table.md" "$SOURCE_DIR/docs/noise-accuracy.md"; then
  echo "FAIL: docs/noise-accuracy.md differs from what scripts/noise-accuracy prints now (- committed, + now):"
  diff "$SOURCE_DIR/docs/noise-accuracy.md" "$work/table.md"
  echo "If the change is meant: scripts/noise-accuracy > docs/noise-accuracy.md"
  exit 1
fi
