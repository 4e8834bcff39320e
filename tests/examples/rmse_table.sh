#!/usr/bin/env bash
# scripts/rmse-table prints exactly the table committed as docs/rmse-table.md
# (checked by doc_table.sh), and README.md shows that file word for word, so
# the figures shown in README.md are the ones the tool gives now.
#
#   rmse_table.sh SOURCE_DIR TOOL COEFS NOISE GENERATOR
set -u
SOURCE_DIR=$1

bash "$(dirname "${BASH_SOURCE[0]}")/doc_table.sh" "$SOURCE_DIR" rmse-table rmse-table.md "$2" "$3" "$4" "$5" ||
  exit 1
# README.md shows the committed table whole, as one block of its lines.
if ! awk 'NR == FNR { table = table $0 "\n"; next } { readme = readme $0 "\n" }
    END { exit index(readme, table) ? 0 : 1 }' "$SOURCE_DIR/docs/rmse-table.md" "$SOURCE_DIR/README.md"; then
  echo "FAIL: README.md does not hold docs/rmse-table.md as it is; copy it into the section on the examples"
  exit 1
fi
