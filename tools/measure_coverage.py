#!/usr/bin/env python3
"""How often the 95% confidence interval of the lambda estimate holds the
lambda the program was run with, over seeds 1..S, per lambda and shape
(docs/statistics.md). It must be between 93% and 97%."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

from cascade.stats import _lambda, estimate_lambda  # noqa: E402

LAMBDAS = (0.3, 0.5, 1.0)


def covered(lam, steps, n0, seeds, realizations):
    held = 0
    for seed in seeds:
        values = np.concatenate([measurement.simulated_rows(lam, steps, n0, [seed * realizations + k])[0]
                                 for k in range(realizations)])
        estimate = estimate_lambda(values, steps, n0, realizations=realizations)
        held += estimate.low <= lam <= estimate.high
    return held


def lines(seeds, one_cell_seeds):
    shapes = [(s, n, 1) for s, n in measurement.SHAPES] + [measurement.ENSEMBLE]
    for steps, n0, realizations in shapes:
        # Too few half-cells for a jackknife: each interval rests on series simulated at its estimate.
        count = one_cell_seeds if 2 * n0 * realizations < _lambda.LEAST_JACKKNIFE_HALF_CELLS else seeds
        cells = [measurement.shape_name(steps, n0, realizations)]
        for lam in LAMBDAS:
            cells.append(measurement.share(covered(lam, steps, n0, range(1, count + 1), realizations), count))
        yield cells


if __name__ == "__main__":
    seeds, one_cell_seeds = measurement.parse_seeds(__doc__, 500, ("--simulated-seeds", 100,
        "seeds for a shape too short for a jackknife, whose every interval simulates series"))
    measurement.print_table(["shape"] + [f"λ = {lam:g}" for lam in LAMBDAS], lines(seeds, one_cell_seeds))
