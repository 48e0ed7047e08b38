#!/usr/bin/env python3
"""How often the check under one multiplier law fails the series of another:
for each law whose series are presented (the philox stream's, seeds 1..S) and
each law they are checked as, the share whose whole check fails, at 64 × 2^10
values and each lambda (docs/laws.md). The diagonal is the false-failure rate."""
import measurement

import cascade  # noqa: E402  (measurement puts the package on the path)
from cascade.stats import _check, simulate  # noqa: E402

LAWS = tuple(cascade.laws())
SHAPE = (10, 64)  # step_number, n0
LAMBDAS = (1.5, 0.5)
BATCH_VALUES = 1 << 22


def caught(made, judged, lam, seeds, shape=SHAPE):
    steps, n0 = shape
    return measurement.failing(_check.judge(lam, steps, n0, law=judged),
                               lambda seed: simulate.simulate(lam, steps, n0, seed, made),
                               seeds, n0 << steps, BATCH_VALUES)


def lines(seeds, lambdas=LAMBDAS, laws=LAWS, shape=SHAPE):
    for lam in lambdas:
        for made in laws:
            cells = [f"{lam:g}", made]
            for judged in laws:
                cells.append(measurement.share(caught(made, judged, lam, range(1, seeds + 1), shape), seeds))
            yield cells


if __name__ == "__main__":
    seeds = measurement.parse_seeds(__doc__, 1000)
    measurement.print_table(["λ", "series of"] + [f"checked as {law}" for law in LAWS], lines(seeds))
