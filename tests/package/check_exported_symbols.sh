#!/bin/sh
# Compares the symbols a shared library defines for dynamic linking with a
# list of expected names; the linker's own section markers are ignored.
# Usage: check_exported_symbols.sh <nm> <library> <expected-list>
set -eu
nm_tool=$1
library=$2
expected=$3

export LC_ALL=C
actual=$(mktemp)
wanted=$(mktemp)
trap 'rm -f "$actual" "$wanted"' EXIT
sort -u "$expected" > "$wanted"

"$nm_tool" -D --defined-only "$library" |
  awk 'NF >= 3 { print $3 }' |
  sed 's/@.*//' |
  grep -v -x -E '_init|_fini|__bss_start|_edata|_end|__end__|__bss_start__|__bss_end__|_bss_end__' |
  sort -u > "$actual"

if ! diff -u "$wanted" "$actual"; then
  echo "exported symbols differ from the expected list (- expected, + exported)" >&2
  exit 1
fi
echo "$(wc -l < "$actual") exported symbols as expected"
