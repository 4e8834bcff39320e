#!/bin/bash
# The built program holds no fused multiply-add instruction: every multiply
# is rounded before its add, in every instruction-set version of the
# estimator's loops (chosen at run time), so results are the same bits on
# every x86-64 machine. The vector versions must be there to be checked.
# Usage: no_fused_multiply_add.sh PROGRAM
set -u
program=$1
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
if ! objdump -d --no-show-raw-insn "$program" >"$listing"; then
  echo "cannot disassemble $program" >&2
  exit 1
fi
fused=$(grep -cE '\s(vfn?m(add|sub)[0-9a-z]*|vfmaddsub[0-9a-z]*|vfmsubadd[0-9a-z]*)\s' "$listing")
if [ "$fused" -ne 0 ]; then
  echo "$program: $fused fused multiply-add instructions:" >&2
  grep -E '\s(vfn?m(add|sub)[0-9a-z]*|vfmaddsub[0-9a-z]*|vfmsubadd[0-9a-z]*)\s' "$listing" | head -20 >&2
  exit 1
fi
# The AVX2 version multiplies on ymm registers (GCC's AVX-512 version on zmm).
if ! grep -qE 'vmulpd.*%ymm' "$listing"; then
  echo "$program: no vmulpd on ymm: the vector versions are missing, nothing was checked" >&2
  exit 1
fi
echo "$program: no fused multiply-add among $(wc -l <"$listing") lines" \
  "($(grep -cE 'vmulpd.*%ymm' "$listing") vmulpd on ymm, $(grep -cE 'vmulpd.*%zmm' "$listing") on zmm)"
