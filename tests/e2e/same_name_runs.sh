#!/usr/bin/env bash
# Twenty runs started together in one working directory on one data file,
# each with its own noise level, all writing the same result name. Every run
# must succeed, the result file must equal byte for byte what one of them
# gives alone, the run log must hold twenty whole records, and no temporary
# or scratch file may be left. Repeated for a few rounds.
#
#   same_name_runs.sh TOOL [ROUNDS]
set -u
TOOL=$(realpath "$1")
ROUNDS=${2:-2}
RUNS=20
export LC_ALL=C

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The largest series, so that writing one result takes long enough for the
# runs to overlap in it.
awk 'BEGIN { for (i = 0; i < 32768; i++) printf "%.6f\n", sin(i / 300.0) + 0.3 * sin(i * 7.1) }' > "$work/wave.txt"
for k in $(seq 1 $RUNS); do
  printf 'wave\n2\n0.482962913145 0.836516303738 0.224143868042 -0.129409522551\nyes\n%s\n6\n' \
    "$(awk -v k="$k" 'BEGIN { print 0.04 * k }')" > "$work/answers_$k"
done

records() { awk 'BEGIN { RS = "" } { sub(/^[0-9]+:[0-9]+:[0-9]+\n/, ""); print; print "--" }' "$1" | sort; }

# Each run alone gives one of the results a run together may leave.
: > "$work/all_logs"
for k in $(seq 1 $RUNS); do
  mkdir "$work/alone_$k"
  cp "$work/wave.txt" "$work/alone_$k/"
  (cd "$work/alone_$k" && setsid -w "$TOOL" < "$work/answers_$k" > /dev/null) || { echo "run $k alone failed"; exit 1; }
  cat "$work/alone_$k/wavelet_log.txt" >> "$work/all_logs"
done
expected_records=$(records "$work/all_logs")
distinct=$(for k in $(seq 1 $RUNS); do md5sum < "$work/alone_$k/wave-dN.txt"; done | sort -u | wc -l)
[ "$distinct" = $RUNS ] || { echo "the runs alone give $distinct different results, not $RUNS"; exit 1; }

failed=0
for round in $(seq 1 "$ROUNDS"); do
  dir="$work/together_$round"
  mkdir "$dir"
  cp "$work/wave.txt" "$dir/"
  for k in $(seq 1 $RUNS); do
    (cd "$dir" && setsid -w "$TOOL" < "$work/answers_$k" > /dev/null 2> "$work/stderr_$k"; echo $? > "$work/status_$k") &
  done
  wait
  for k in $(seq 1 $RUNS); do
    [ "$(cat "$work/status_$k")" = 0 ] || { echo "round $round: run $k ended with $(cat "$work/status_$k")"; failed=1; }
    # Without a terminal, the note that a run waits for the directory lock
    # goes to standard error; nothing else may.
    if grep -v -x 'dorvenk: another run is using this directory; waiting for it to end' "$work/stderr_$k" | grep -q .; then
      echo "round $round: run $k wrote to standard error:"; head -3 "$work/stderr_$k"; failed=1
    fi
  done
  match=0
  for k in $(seq 1 $RUNS); do
    cmp -s "$dir/wave-dN.txt" "$work/alone_$k/wave-dN.txt" && match=$k
  done
  [ $match != 0 ] || { echo "round $round: the result file is none of the runs' results ($(wc -l < "$dir/wave-dN.txt") lines)"; failed=1; }
  [ "$(records "$dir/wavelet_log.txt")" = "$expected_records" ] || { echo "round $round: the run log does not hold the $RUNS whole records"; failed=1; }
  left=$(cd "$dir" && ls -A | grep -v -x -e wave.txt -e wave-dN.txt -e wavelet_log.txt)
  [ -z "$left" ] || { echo "round $round: left behind: $left"; failed=1; }
done
[ $failed = 0 ] && echo "$ROUNDS rounds of $RUNS runs on one result name: each time one run's whole result"
exit $failed
