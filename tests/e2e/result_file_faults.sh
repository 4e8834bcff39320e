#!/usr/bin/env bash
# The result file under faults made real: its writes fail half way, its
# sync, close or rename fails, no file can be made beside it, the file size
# limit stops it. Each time the run ends with status 1 and a message naming
# the result file and the reason, the earlier result is still there byte for
# byte with its permission bits, and nothing else is left: no temporary
# file, no scratch file. Without a fault the result replaces the earlier one
# whole and keeps its permission bits.
#
#   result_file_faults.sh TOOL FAULT_SHIM
set -u
TOOL=$(realpath "$1")
SHIM=$(realpath "$2")
export LC_ALL=C

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 2000 values: the result file takes about 70 kB, each scratch file at most
# 32 kB, under the 40 kB size limit of the last fault.
awk 'BEGIN { for (i = 0; i < 2000; i++) printf "%.6f\n", sin(i / 30.0) + 0.2 * sin(i * 5.3) }' > "$work/wave.txt"
printf 'wave\n2\n0.482962913145 0.836516303738 0.224143868042 -0.129409522551\nyes\n0.1\n4\n' > "$work/answers"
printf 'an earlier result\n' > "$work/earlier"

mkdir "$work/alone"
cp "$work/wave.txt" "$work/alone/"
(cd "$work/alone" && setsid -w "$TOOL" < "$work/answers" > stdout) || { echo "the run without a fault failed"; exit 1; }

# name | environment of the fault | the reason shown
faults=(
  "writes fail half way|FAULT_FILE=.dorvenk-* FAULT_OP=write FAULT_AFTER=30000 FAULT_ERRNO=ENOSPC|No space left on device"
  "sync fails|FAULT_FILE=.dorvenk-* FAULT_OP=fsync FAULT_ERRNO=EIO|Input/output error"
  "close fails|FAULT_FILE=.dorvenk-* FAULT_OP=close FAULT_ERRNO=EDQUOT|Disk quota exceeded"
  "rename fails|FAULT_FILE=wave-dN.txt FAULT_OP=rename FAULT_ERRNO=EROFS|Read-only file system"
  "no file can be made beside it|FAULT_FILE=.dorvenk-* FAULT_OP=open FAULT_ERRNO=EACCES|Permission denied"
  "file size limit|ULIMIT=40|File too large"
)

failed=0
fail() { echo "$name: $*"; failed=1; }
for fault in "${faults[@]}"; do
  IFS='|' read -r name environment reason <<< "$fault"
  dir="$work/run"
  rm -rf "$dir" "$work/mark"
  mkdir "$dir"
  cp "$work/wave.txt" "$dir/"
  cp "$work/earlier" "$dir/wave-dN.txt"
  chmod 640 "$dir/wave-dN.txt"
  if [ "${environment#ULIMIT=}" != "$environment" ]; then
    # SIGXFSZ ignored, so that the limit shows as a failed write (EFBIG).
    (cd "$dir" && setsid -w bash -c "trap '' XFSZ; ulimit -f ${environment#ULIMIT=}; exec \"\$0\"" "$TOOL" \
      < "$work/answers" > "$work/stdout" 2> "$work/stderr")
    status=$?
  else
    (cd "$dir" && env LD_PRELOAD="$SHIM" FAULT_MARK="$work/mark" $environment setsid -w "$TOOL" \
      < "$work/answers" > "$work/stdout" 2> "$work/stderr")
    status=$?
    [ -e "$work/mark" ] || fail "the fault never acted"
  fi
  [ "$status" = 1 ] || fail "exit status $status, expected 1"
  [ -s "$work/stderr" ] && fail "standard error: $(head -c 300 "$work/stderr")"
  last=$(tail -n 1 "$work/stdout")
  [ "$last" = $'\a'"file error! [wave-dN.txt: $reason]" ] || fail "last line: $last"
  cmp -s "$dir/wave-dN.txt" "$work/earlier" || fail "the earlier result was not kept"
  [ "$(stat -c %a "$dir/wave-dN.txt" 2>/dev/null)" = 640 ] || fail "mode $(stat -c %a "$dir/wave-dN.txt" 2>/dev/null), expected 640"
  left=$(cd "$dir" && ls -A | grep -v -x -e wave.txt -e wave-dN.txt -e wavelet_log.txt)
  [ -z "$left" ] && [ ! -L "$dir/wave-dN.txt" ] || fail "left behind: $left"
done

# No fault: the earlier result is replaced whole, its mode kept.
name="no fault"
rm -rf "$dir"
mkdir "$dir"
cp "$work/wave.txt" "$dir/"
cp "$work/earlier" "$dir/wave-dN.txt"
chmod 640 "$dir/wave-dN.txt"
(cd "$dir" && setsid -w "$TOOL" < "$work/answers" > /dev/null) || fail "exit status $?"
cmp -s "$dir/wave-dN.txt" "$work/alone/wave-dN.txt" || fail "the result differs from a run alone"
[ "$(stat -c %a "$dir/wave-dN.txt" 2>/dev/null)" = 640 ] || fail "mode $(stat -c %a "$dir/wave-dN.txt" 2>/dev/null), expected 640"

[ $failed = 0 ] && echo "${#faults[@]} faults of the result file: the earlier result kept each time, nothing left"
exit $failed
