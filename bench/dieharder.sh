#!/usr/bin/env bash
# Runs dieharder over Philox4x32-10's raw output (bench/philox_stream, built
# with the benchmarks) and writes its table to a file. The whole battery
# (-a, the default) takes hours; other dieharder test options after the
# file name run less, e.g. `-d 0` for one test.
#   bench/dieharder.sh PHILOX_STREAM [SEED [OUTPUT [DIEHARDER OPTIONS...]]]
# SEED defaults to 1700000000, OUTPUT to dieharder-philox-SEED.txt.
set -u

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 PHILOX_STREAM [SEED [OUTPUT [DIEHARDER OPTIONS...]]]" >&2
  echo "  PHILOX_STREAM: the built bench/philox_stream (cmake -DCASCADE_BUILD_BENCHMARKS=ON)" >&2
  exit 2
fi
stream=$1
seed=${2:-1700000000}
output=${3:-dieharder-philox-$seed.txt}
shift $(($# < 3 ? $# : 3))
tests=("$@")
[ ${#tests[@]} -eq 0 ] && tests=(-a)

if ! command -v dieharder > /dev/null; then
  echo "$0: dieharder is not installed (Debian: apt-get install dieharder)" >&2
  exit 1
fi

echo "dieharder ${tests[*]} over philox_stream $seed, into $output" >&2
# -g 200 reads raw 32-bit words from standard input. The stream never ends
# on its own: dieharder closing the pipe ends it, so only dieharder's own
# status counts.
"$stream" "$seed" | dieharder "${tests[@]}" -g 200 > "$output"
status=${PIPESTATUS[1]}
if [ "$status" -ne 0 ]; then
  echo "$0: dieharder failed (status $status); see $output" >&2
  exit "$status"
fi
if grep -q 'FAILED' "$output"; then echo "$0: some tests FAILED; see $output" >&2; fi
if grep -q 'WEAK' "$output"; then echo "$0: some tests WEAK (one in a hundred is, by chance); see $output" >&2; fi
exit 0
