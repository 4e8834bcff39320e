#!/usr/bin/env bash
# Runs one end-to-end case against the built tool and compares, byte for
# byte, its standard output, its exit status and every file it leaves.
#
#   run_case.sh CASE_DIR TOOL BUILD_DIR
#
# A case folder holds:
#   stdin            the standard input (none: empty input)
#   files/           files placed in the working directory before the run
#   setup.sh         optional; run in the working directory before the run
#                    (what it makes is expected to stay, like files/)
#   cmd              optional; a shell command run instead of "$TOOL" < stdin
#                    ($TOOL, $BUILD_DIR and $CASE are set)
#   expected/stdout  the standard output, written as UTF-8 (compared as the
#                    Shift-JIS bytes the tool writes)
#   expected/stdout.raw  instead of stdout: the exact bytes, not converted
#   expected/status  the exit status
#   expected/stderr  optional; the standard error, byte for byte (without
#                    it, standard error must stay empty)
#   expected/files/  files expected after the run besides those there before
#                    (a file here replaces the one of the same name),
#                    UTF-8 text compared as Shift-JIS
#   expected/gone    optional; names of files there before that must be gone
#
# Lines of wavelet_log.txt that end in a time of day H:M:S are compared
# with that time replaced by @TIME@. The run happens in a new session with
# no controlling terminal, so the key wait returns at once.
set -u
CASE=$(realpath "$1")
TOOL=$(realpath "$2")
BUILD_DIR=$(realpath "$3")
export CASE TOOL BUILD_DIR LC_ALL=C

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
run="$work/run"
want="$work/want"
mkdir -p "$run" "$want"

[ -d "$CASE/files" ] && cp -a "$CASE/files/." "$run/"
if [ -f "$CASE/setup.sh" ]; then
  (cd "$run" && bash "$CASE/setup.sh") || { echo "setup failed"; exit 1; }
fi
cp -a "$run/." "$want/"
if [ -f "$CASE/expected/gone" ]; then
  while IFS= read -r name; do [ -n "$name" ] && rm -rf "${want:?}/$name"; done < "$CASE/expected/gone"
fi
if [ -d "$CASE/expected/files" ]; then
  while IFS= read -r f; do
    mkdir -p "$(dirname "$want/$f")"
    # A new file, not a write through a hard link that cp -a kept.
    rm -f "$want/$f"
    iconv -f UTF-8 -t CP932 < "$CASE/expected/files/$f" > "$want/$f" || { echo "expected/files/$f is not UTF-8"; exit 1; }
  done < <(cd "$CASE/expected/files" && find . -type f)
fi
stdin_file=/dev/null
[ -f "$CASE/stdin" ] && stdin_file="$CASE/stdin"

if [ -f "$CASE/cmd" ]; then
  (cd "$run" && setsid -w bash -c "$(cat "$CASE/cmd")" < "$stdin_file" > "$work/stdout" 2> "$work/stderr")
else
  (cd "$run" && setsid -w "$TOOL" < "$stdin_file" > "$work/stdout" 2> "$work/stderr")
fi
status=$?
if [ -f "$CASE/teardown.sh" ]; then
  (cd "$run" && bash "$CASE/teardown.sh")
fi

failed=0
if [ -f "$CASE/expected/stderr" ]; then
  if ! cmp -s "$work/stderr" "$CASE/expected/stderr"; then
    echo "standard error differs:"
    diff <(cat -A "$CASE/expected/stderr") <(cat -A "$work/stderr") | head -20
    failed=1
  fi
elif [ -s "$work/stderr" ]; then
  echo "standard error is not empty:"
  head -20 "$work/stderr"
  failed=1
fi
expected_status=$(cat "$CASE/expected/status")
if [ "$status" != "$expected_status" ]; then
  echo "exit status: got $status, expected $expected_status"
  failed=1
fi

if [ -f "$CASE/expected/stdout.raw" ]; then
  cp "$CASE/expected/stdout.raw" "$work/expected_stdout"
else
  iconv -f UTF-8 -t CP932 < "$CASE/expected/stdout" > "$work/expected_stdout" || exit 1
fi
if ! cmp -s "$work/stdout" "$work/expected_stdout"; then
  echo "standard output differs (shown as UTF-8):"
  diff <(iconv -c -f CP932 -t UTF-8 < "$work/expected_stdout" | cat -A) \
       <(iconv -c -f CP932 -t UTF-8 < "$work/stdout" 2>/dev/null | cat -A) | head -40
  failed=1
fi

# The time line of a run log record is the only part that may vary: an
# unpadded H:M:S (9:5:3, never 09:05:03) at the end of a line.
time_of_day='(^|[^0-9])(1?[0-9]|2[0-3]):([1-5]?[0-9]):([1-5]?[0-9])$'
for log in "$run/wavelet_log.txt" "$want/wavelet_log.txt"; do
  if [ -f "$log" ] && [ ! -L "$log" ]; then
    sed -E "s/$time_of_day/\\1@TIME@/" "$log" > "$work/log" && cat "$work/log" > "$log"
  fi
done

list_tree() { (cd "$1" && find . -mindepth 1 \( -type f -o -type l -o -type d -empty \) | LC_ALL=C sort); }
if [ "$(list_tree "$run")" != "$(list_tree "$want")" ]; then
  echo "files after the run differ (- expected, + got):"
  diff <(list_tree "$want") <(list_tree "$run")
  failed=1
fi
while IFS= read -r f; do
  if [ -f "$want/$f" ] && [ -f "$run/$f" ] && ! cmp -s "$want/$f" "$run/$f"; then
    echo "file $f differs (shown as UTF-8):"
    diff <(iconv -f CP932 -t UTF-8 < "$want/$f" | cat -A) <(iconv -f CP932 -t UTF-8 < "$run/$f" 2>/dev/null | cat -A) | head -40
    failed=1
  fi
done < <(list_tree "$want")

exit $failed
