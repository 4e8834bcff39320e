#!/usr/bin/env bash
# Two runs started together in one working directory, on different data
# files, must both finish with the result files a run alone gives, leave two
# whole records in the run log and no scratch file. Repeated several times.
#
#   concurrent_runs.sh TOOL [ROUNDS]
set -u
TOOL=$1
ROUNDS=${2:-8}
export LC_ALL=C

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two series of 4096 values; order 100 makes each engine run long enough to
# overlap with the other.
awk 'BEGIN { for (i = 0; i < 4096; i++) printf "%.6f\n", sin(i / 40.0) + 0.3 * sin(i * 7.1) }' > "$work/a.txt"
awk 'BEGIN { for (i = 0; i < 4096; i++) printf "%.6f\n", cos(i / 25.0) + 0.2 * sin(i * 3.3) }' > "$work/b.txt"
coefficients=$(awk 'BEGIN { for (k = 0; k < 200; k++) printf "%s ", (k % 2 ? "-0.05" : "0.05") }')
printf 'a\n100\n%s\nno\nyes\n8\n' "$coefficients" > "$work/answers_a"
printf 'b\n100\n%s\nyes\n0.25\n10\n' "$coefficients" > "$work/answers_b"

records() { awk 'BEGIN { RS = "" } { sub(/^[0-9]+:[0-9]+:[0-9]+\n/, ""); print; print "--" }' "$1" | sort; }

# Each run alone gives the reference result file and record.
for x in a b; do
  mkdir "$work/alone_$x"
  cp "$work/$x.txt" "$work/alone_$x/"
  (cd "$work/alone_$x" && setsid -w "$TOOL" < "$work/answers_$x" > stdout) || { echo "run $x alone failed"; exit 1; }
done
cat "$work/alone_a/wavelet_log.txt" "$work/alone_b/wavelet_log.txt" > "$work/both_logs"
expected_records=$(records "$work/both_logs")

failed=0
for round in $(seq 1 "$ROUNDS"); do
  dir="$work/together_$round"
  mkdir "$dir"
  cp "$work/a.txt" "$work/b.txt" "$dir/"
  (cd "$dir" && setsid -w "$TOOL" < "$work/answers_a" > stdout_a; echo $? > status_a) &
  (cd "$dir" && setsid -w "$TOOL" < "$work/answers_b" > stdout_b; echo $? > status_b) &
  wait
  for x in a b; do
    if [ "$(cat "$dir/status_$x")" != 0 ]; then echo "round $round: run $x ended with $(cat "$dir/status_$x")"; failed=1; fi
    if ! cmp -s "$dir/$x-dN.txt" "$work/alone_$x/$x-dN.txt"; then echo "round $round: $x-dN.txt differs"; failed=1; fi
    if ! cmp -s "$dir/stdout_$x" "$work/alone_$x/stdout"; then echo "round $round: output of run $x differs"; failed=1; fi
  done
  if [ "$(records "$dir/wavelet_log.txt")" != "$expected_records" ]; then
    echo "round $round: the run log does not hold the two whole records"
    failed=1
  fi
  for scratch in w_tmp s_tmp r_tmp; do
    if [ -e "$dir/$scratch" ]; then echo "round $round: $scratch left behind"; failed=1; fi
  done
done
[ $failed = 0 ] && echo "$ROUNDS rounds of two runs together: all results and records whole"
exit $failed
