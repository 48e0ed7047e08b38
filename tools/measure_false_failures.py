#!/usr/bin/env python3
"""How often the check calls a correct series of the program wrong: the share of
seeds whose whole check fails, per lambda and shape (docs/statistics.md). Seeds run
from --first-seed; shapes of 2^20 values and more take --long-seeds of them.
With --law, the series of that multiplier law (the philox stream's) are checked
as that law, one block of lines per law."""
import argparse

import measurement

from cascade.stats import _check, simulate  # noqa: E402

LAMBDAS = (0.0, 0.5, 1.5, 3.0)
# (step_number, n0): from one short cell to one of 2^24 values, twenty long cells, and many short cells.
SHAPES = [(8, 1), (10, 64), (12, 16), (16, 1), (16, 20), (18, 1), (20, 1), (22, 1), (24, 1), (8, 1 << 16)]
LONG_VALUES = 1 << 20
BATCH_VALUES = 1 << 24


def failures(lam, steps, n0, seeds, law="lognormal"):
    return measurement.failing(_check.judge(lam, steps, n0, law=law),
                               lambda seed: simulate.simulate(lam, steps, n0, seed, law),
                               seeds, n0 << steps, BATCH_VALUES)


def lines(seeds, long_seeds, first_seed, shapes=None, lambdas=LAMBDAS, laws=None):
    for law in laws or [None]:
        for steps, n0 in shapes or SHAPES:
            count = long_seeds if n0 << steps >= LONG_VALUES else seeds
            cells = ([] if law is None else [law]) + [measurement.shape_name(steps, n0)]
            for lam in lambdas:
                failed = failures(lam, steps, n0, range(first_seed, first_seed + count), law or "lognormal")
                cells.append(measurement.share(failed, count))
            yield cells


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__, allow_abbrev=False)
    parser.add_argument("--seeds", type=int, default=500, help="seeds per line (default: %(default)s)")
    parser.add_argument("--long-seeds", type=int, default=200,
                        help="seeds per line for 2^20 values and more (default: %(default)s)")
    parser.add_argument("--first-seed", type=int, default=300_000_000, help="the first seed (default: %(default)s)")
    parser.add_argument("--shape", action="append", default=None, metavar="STEPS,N0",
                        help="only this shape (may repeat; default: the table's)")
    parser.add_argument("--lambda", dest="lambdas", type=float, action="append", default=None,
                        help="only this lambda (may repeat; default: 0, 0.5, 1.5, 3)")
    parser.add_argument("--law", dest="laws", action="append", default=None,
                        help="series of this multiplier law, checked as it (may repeat; default: the program's "
                             "log-normal series, without a law column)")
    options = parser.parse_args()
    shapes = [tuple(int(part) for part in shape.split(",")) for shape in options.shape] if options.shape else None
    lambdas = tuple(options.lambdas) if options.lambdas else LAMBDAS
    measurement.print_table((["law"] if options.laws else []) + ["shape"] + [f"λ = {lam:g}" for lam in lambdas],
                            lines(options.seeds, options.long_seeds, options.first_seed, shapes, lambdas,
                                  options.laws))
