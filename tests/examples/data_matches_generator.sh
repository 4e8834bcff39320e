#!/usr/bin/env bash
# The example data in examples/ is exactly what the generator writes, and
# the coefficients in each answer file are exactly what dorvenk-coefs prints
# for the order given there.
#
#   data_matches_generator.sh GENERATOR COEFS SOURCE_DIR
set -u
GENERATOR=$1
COEFS=$2
SOURCE_DIR=$3
readonly SIGNALS="blocks bumps heavisine doppler"

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

mkdir "$work/out"
"$GENERATOR" "$work/out" || fail "generator exit status $?"
expected_files=""
for signal in $SIGNALS; do expected_files="$expected_files $signal-clean.txt $signal.txt"; done
written=$(cd "$work/out" && ls | LC_ALL=C sort | tr '\n' ' ')
wanted=$(printf '%s\n' $expected_files | LC_ALL=C sort | tr '\n' ' ')
[ "$written" = "$wanted" ] || fail "generator wrote [$written], expected [$wanted]"
for f in $expected_files; do
  if ! cmp -s "$work/out/$f" "$SOURCE_DIR/examples/$f"; then
    fail "examples/$f differs from the generator's output; rebuild the target regenerate_examples if the change is meant"
    diff "$SOURCE_DIR/examples/$f" "$work/out/$f" | head -5
  fi
  lines=$(wc -l < "$work/out/$f")
  [ "$lines" -eq 2048 ] || fail "$f has $lines lines, expected 2048"
done

# Answer files: base name, order N, the 2N coefficients of dorvenk-coefs N,
# then the noise answers and the level.
for signal in $SIGNALS; do
  answers=$SOURCE_DIR/examples/$signal.answers
  [ "$(sed -n 1p "$answers")" = "examples/$signal" ] || fail "$signal.answers does not name examples/$signal"
  order=$(sed -n 2p "$answers")
  if ! [[ $order =~ ^[0-9]+$ ]]; then
    fail "$signal.answers: line 2 is not an order"
    continue
  fi
  if ! cmp -s <(sed -n "3,$((2 + 2 * order))p" "$answers") <("$COEFS" "$order"); then
    fail "$signal.answers: the coefficients differ from dorvenk-coefs $order"
  fi
done

# Usage errors and an output folder that cannot be written.
"$GENERATOR" > /dev/null 2> "$work/err"
status=$?
[ $status -eq 2 ] || fail "no argument: exit status $status, expected 2"
grep -q '^Usage: dorvenk-example-signals DIR' "$work/err" || fail "no argument: no usage message"
"$GENERATOR" "$work/missing/folder" > /dev/null 2> "$work/err"
status=$?
[ $status -eq 1 ] || fail "missing folder: exit status $status, expected 1"
grep -q 'cannot create' "$work/err" || fail "missing folder: no message"

exit $failed
