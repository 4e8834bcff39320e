#!/usr/bin/env bash
# scripts/example, which README's first command runs after the build: for
# every bundled example it leaves the result file, the run log record and a
# 1200x800 PNG in BUILD/example/, prints the dialogue as UTF-8 and the
# errors against the clean signal, and writes nothing into the source tree.
#
#   first_command.sh SOURCE_DIR TOOL
#
# The script finds the tool as BUILD/dorvenk; BUILD here is a temporary
# folder holding a link to TOOL, so the test leaves no files behind.
set -u
SOURCE_DIR=$1
TOOL=$2
export LC_ALL=C

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
build=$work/build
mkdir -p "$build"
ln -s "$TOOL" "$build/dorvenk"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The untracked and modified files of the source tree, before and after;
# outside a git checkout, a listing of examples/ stands in.
tree_state() {
  if git -C "$SOURCE_DIR" rev-parse --git-dir > /dev/null 2>&1; then
    git -C "$SOURCE_DIR" status --porcelain --untracked-files=all -- examples docs wavelet_log.txt
  else
    ls -la "$SOURCE_DIR/examples"
  fi
}
before=$(tree_state)

records=0
for signal in blocks bumps heavisine doppler; do
  # Started from a folder other than the source tree, as a user might.
  out=$work/$signal.out
  (cd "$work" && DORVENK_BUILD_DIR=$build bash "$SOURCE_DIR/scripts/example" "$signal") > "$out" 2> "$work/$signal.err"
  status=$?
  [ $status -eq 0 ] || { fail "$signal: status $status: $(cat "$work/$signal.err")"; continue; }
  result=$build/example/examples/$signal-dN.txt
  order=$(sed -n 2p "$SOURCE_DIR/examples/$signal.answers")
  level=$(tail -n 1 "$SOURCE_DIR/examples/$signal.answers")
  [ "$(head -n 1 "$result")" = " input L${level}_N${order}_denoise noise" ] || fail "$signal: result header is $(head -n 1 "$result")"
  [ "$(wc -l < "$result")" -eq 2049 ] || fail "$signal: result file does not have 2049 lines"
  png=$build/example/examples/$signal-dN.png
  [ "$(od -An -tx1 -N24 "$png" | tr -d ' \n')" = "89504e470d0a1a0a0000000d49484452000004b000000320" ] ||
    fail "$signal: $png is not a 1200x800 PNG"
  records=$((records + 1))
  [ "$(grep -c '^Inputfile \[ ' "$build/example/wavelet_log.txt")" -eq $records ] || fail "$signal: run log does not hold $records records"
  grep -q "^Outputfile\[ examples/$signal-dN.txt \]" "$build/example/wavelet_log.txt" || fail "$signal: no run log record"
  # The dialogue, converted to UTF-8, and the closing summary.
  grep -q '^データ数=2048$' "$out" || fail "$signal: no UTF-8 summary in the output"
  grep -q '完了' "$out" || fail "$signal: no completion message"
  grep -q "^Outputfile\[ examples/$signal-dN.txt \]" "$out" || fail "$signal: run log record not shown"
  grep -Eq '^noisy [0-9]+\.[0-9]{3}, denoised [0-9]+\.[0-9]{3} \(n = 2048\)$' "$out" || fail "$signal: no error figures"
  grep -q "^Plot: .*examples/$signal-dN.png$" "$out" || fail "$signal: plot not named"
done

# The figures shown for doppler are those of the table in docs/.
doppler=$(grep '^noisy' "$work/doppler.out")
grep -q "| Doppler | 1 | [^|]* | ${doppler:6:5} |" "$SOURCE_DIR/docs/rmse-table.md" ||
  fail "doppler: noisy error ${doppler:6:5} is not the one in docs/rmse-table.md"

[ "$(tree_state)" = "$before" ] || fail "the source tree changed: $(diff <(echo "$before") <(tree_state))"

# Errors: an unknown example, and a build folder without the tool.
DORVENK_BUILD_DIR=$build bash "$SOURCE_DIR/scripts/example" sine > /dev/null 2> "$work/err"; status=$?
[ $status -eq 2 ] && grep -q "no example 'sine'" "$work/err" || fail "unknown example: status $status, $(cat "$work/err")"
DORVENK_BUILD_DIR=$work/empty bash "$SOURCE_DIR/scripts/example" > /dev/null 2> "$work/err"; status=$?
[ $status -eq 1 ] && grep -q 'not found; build first' "$work/err" || fail "no tool: status $status, $(cat "$work/err")"

exit $failed
