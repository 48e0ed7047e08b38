#!/usr/bin/python3
"""Times an ensemble made in one call against the loop a user would write.

    ensemble_compare.py [--runs 7]

For each stream and shape (K realizations of N values, lambda 0.3, n0 1):

- loop, 1 thread: for each seed, cascade.generate(..., threads=1, out=row)
  into the rows of one (K, N) array;
- ensemble: cascade.generate_ensemble(..., threads=2, out=that array).

Both fill the same array, allocated and touched before the timed calls, so
only the making of values is timed. Each case runs once untimed, then
`runs` times in turn with the other; the table gives the fastest and the
median of each and the loop's fastest over the ensemble's fastest.
"""

import argparse
import statistics
import time

import numpy as np

import cascade

LAMBDA = 0.3
SHAPES = [(64, 16), (8, 20)]   # (K, step_number): N = 2^step_number
STREAMS = ["subtractive", "philox"]


def loop(seeds, steps, generator, out):
    for row, seed in zip(out, seeds):
        cascade.generate(LAMBDA, steps, 1, seed, generator=generator, threads=1, out=row)


def ensemble(seeds, steps, generator, out):
    cascade.generate_ensemble(LAMBDA, steps, 1, seeds, generator=generator, threads=2, out=out)


def timed(call, *arguments):
    started = time.perf_counter()
    call(*arguments)
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=7, help="timed runs of each case (default: %(default)s)")
    runs = parser.parse_args().runs
    print("| stream | K × N | loop, 1 thread: fastest, median (s) | ensemble, 2 threads: fastest, median (s) "
          "| speed-up |")
    print("|---|---|---|---|---|")
    for generator in STREAMS:
        for rows, steps in SHAPES:
            seeds = list(range(1, rows + 1))
            out = np.ones((rows, 1 << steps))
            loop(seeds, steps, generator, out)
            ensemble(seeds, steps, generator, out)
            times = {"loop": [], "ensemble": []}
            for _ in range(runs):
                times["loop"].append(timed(loop, seeds, steps, generator, out))
                times["ensemble"].append(timed(ensemble, seeds, steps, generator, out))
            fastest = {case: min(values) for case, values in times.items()}
            cells = [f"{fastest[case]:.3f}, {statistics.median(times[case]):.3f}" for case in ("loop", "ensemble")]
            print(f"| {generator} | {rows} × 2^{steps} | {cells[0]} | {cells[1]} | "
                  f"{fastest['loop'] / fastest['ensemble']:.2f}× |", flush=True)


if __name__ == "__main__":
    main()
