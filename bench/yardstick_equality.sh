#!/usr/bin/env bash
# yardstick_equality.sh CASCADE REFERENCE: both programs write the same bytes,
# on both streams, for shapes that cross the fast path's chunk and thread
# boundaries; cascade with its widest vector exp and log (where the machine
# takes them), with four lanes (CASCADE_VECTOR_LANES=4) and with the C
# library's (CASCADE_SCALAR_MATH=1). Two shapes send exponents beyond the
# vector functions' range (|x| >= 512) and tiny ones; the last is large
# enough to leave the cache.
set -euo pipefail
cascade=$1
reference=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for shape in "1 0.3 20 1" "2 0.7 3 40001" "3 1.1 1 150000" "4 0 16 3" "5 -0.5 12 7" "6 8 10 2" "7 3 1 200000" \
             "8 40 1 30000" "9 1e-18 2 20000" "10 0.3 23 1"; do
  set -- $shape
  "$reference" "$1" "$2" "$3" "$4" >"$scratch/b.out" 2>"$scratch/b.err"
  for path in CASCADE_SCALAR_MATH=0 CASCADE_VECTOR_LANES=4 CASCADE_SCALAR_MATH=1; do
    env "$path" "$cascade" --seed "$1" "$2" "$3" "$4" >"$scratch/a.out" 2>"$scratch/a.err"
    if ! cmp -s "$scratch/a.out" "$scratch/b.out" || ! cmp -s "$scratch/a.err" "$scratch/b.err"; then
      echo "yardstick_equality: cascade ($path) differs from the reference for --seed $shape" >&2
      exit 1
    fi
  done
done
echo "yardstick_equality: identical for every shape"
