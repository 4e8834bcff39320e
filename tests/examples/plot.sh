#!/usr/bin/env bash
# scripts/dorvenk-plot: a result file becomes a 1200x800 PNG, by default
# beside it; anything that is not a result file, and a wrong command line,
# get a message on standard error, status 2 and no picture.
#
#   plot.sh SOURCE_DIR
set -u
PLOT=$1/scripts/dorvenk-plot
export LC_ALL=C

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Width and height from the IHDR chunk: the 8-byte signature, the chunk
# length and type, then two big-endian 32-bit numbers.
png_size() {
  local bytes
  bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
  set -- $bytes
  echo "$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 ))x$(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 ))"
}
is_png_1200x800() {
  [ -s "$1" ] || return 1
  [ "$(od -An -tx1 -N16 "$1" | tr -d ' \n')" = "89504e470d0a1a0a0000000d49484452" ] || return 1
  [ "$(png_size "$1")" = "1200x800" ]
}

# Valid result files: a short run, one of a single sample, one with CRLF
# line ends and one with values in exponent form, infinities and NaNs.
printf ' input L3_N2_denoise noise\n0 0.812 0.745623 0.066377\n1 1.05 0.98811 0.06189\n2 0.377 0.52147 -0.14447\n3 -1.2 -1.1 -0.1\n' > run-dN.txt
printf ' input L1_N1_denoise noise\n0 5 5 0\n' > one-dN.txt
printf ' input L2_N4_denoise noise\r\n0 1 1 0\r\n1 2 2 0\r\n2 3 3 0\r\n3 4 4 0\r\n' > crlf-dN.txt
printf ' input L12_N100_denoise noise\n0 1.5E+06 1.2E-05 1.5E+06\n1 INF 0 INF\n2 NAN 1 NAN\n3 -INF -nan inf\n4 2 2 0\n' > special-dN.txt

for f in run one crlf special; do
  bash "$PLOT" "$f-dN.txt" > out 2> err
  status=$?
  [ $status -eq 0 ] || { fail "$f-dN.txt: status $status: $(cat err)"; continue; }
  [ ! -s err ] || fail "$f-dN.txt: wrote to stderr: $(cat err)"
  is_png_1200x800 "$f-dN.png" || fail "$f-dN.png is not a 1200x800 PNG ($(png_size "$f-dN.png"))"
done

# An explicit output name, in another folder, with an awkward name.
mkdir -p 'pictures/a b'
bash "$PLOT" run-dN.txt "pictures/a b/it's_L3.png" 2> err || fail "explicit name: $(cat err)"
is_png_1200x800 "pictures/a b/it's_L3.png" || fail "explicit name: no 1200x800 PNG"
# A name without .txt gets .png appended.
cp run-dN.txt result
bash "$PLOT" result 2> err || fail "name without .txt: $(cat err)"
is_png_1200x800 result.png || fail "name without .txt: result.png missing"

# Not result files: each gets status 2, a message naming the file, no PNG.
bad_cases=(
  "empty|"
  "header_only| input L3_N2_denoise noise\n"
  "data_file|0.812\n1.05\n0.377\n"
  "header_without_noise| input L3_N2_denoise\n0 1 1 0\n"
  "header_no_leading_blank|input L3_N2_denoise noise\n0 1 1 0\n"
  "header_letters_for_level| input Lx_N2_denoise noise\n0 1 1 0\n"
  "row_three_fields| input L3_N2_denoise noise\n0 1 1 0\n1 2 2\n"
  "row_five_fields| input L3_N2_denoise noise\n0 1 1 0 9\n"
  "row_index_skips| input L3_N2_denoise noise\n0 1 1 0\n2 2 2 0\n"
  "row_index_from_one| input L3_N2_denoise noise\n1 1 1 0\n"
  "row_word| input L3_N2_denoise noise\n0 1 abc 0\n"
  "row_comma_decimal| input L3_N2_denoise noise\n0 1,5 1 0\n"
  "run_log| 12:7:3\nInputfile [ sample.txt ]\n"
)
for entry in "${bad_cases[@]}"; do
  name=${entry%%|*}
  printf "${entry#*|}" > "$name.txt"
  bash "$PLOT" "$name.txt" > out 2> err
  status=$?
  [ $status -eq 2 ] || fail "$name: status $status, expected 2"
  grep -q "^dorvenk-plot: $name.txt is not a dorvenk result file: " err || fail "$name: message was: $(cat err)"
  [ ! -e "$name.png" ] || fail "$name: a PNG was written"
  [ ! -s out ] || fail "$name: wrote to stdout"
done
printf '\x89PNG\r\n\x1a\n\x00\x00' > binary.txt
bash "$PLOT" binary.txt 2> err; status=$?
[ $status -eq 2 ] || fail "binary file: status $status, expected 2"
bash "$PLOT" missing-dN.txt 2> err; status=$?
[ $status -eq 2 ] && grep -q 'cannot read missing-dN.txt' err || fail "missing file: status $status, $(cat err)"
mkdir folder-dN.txt
bash "$PLOT" folder-dN.txt 2> err; status=$?
[ $status -eq 2 ] || fail "directory: status $status, expected 2"

# Command line: no argument or three give the usage and status 2; --help
# gives it on stdout with status 0.
for args in "" "run-dN.txt a.png extra"; do
  bash "$PLOT" $args > out 2> err; status=$?
  [ $status -eq 2 ] || fail "arguments [$args]: status $status, expected 2"
  grep -q '^Usage: dorvenk-plot RESULT \[PNG\]' err || fail "arguments [$args]: no usage on stderr"
done
bash "$PLOT" --help > out 2> err; status=$?
[ $status -eq 0 ] && grep -q '^Usage: dorvenk-plot RESULT \[PNG\]' out || fail "--help: status $status"

# An output that cannot be written: status 1 and a message.
bash "$PLOT" run-dN.txt no/such/folder/x.png 2> err; status=$?
[ $status -eq 1 ] && grep -q 'cannot write no/such/folder/x.png' err || fail "unwritable output: status $status, $(cat err)"

exit $failed
