#!/usr/bin/env python3
"""How often the check calls a correct series of the program wrong: the share of
seeds 1..S whose whole check fails, per lambda and shape (README table)."""
import measurement

from cascade.stats import _check  # noqa: E402  (measurement checks for numpy and puts the package on the path)

LAMBDAS = (0.0, 0.5, 1.0, 1.5, 2.0, 3.0)


def lines(seeds):
    for steps, n0 in measurement.SHAPES:
        cells = [measurement.shape_name(steps, n0)]
        for lam in LAMBDAS:
            series = measurement.program_series(lam, steps, n0, range(1, seeds + 1))
            failing = int((~_check.judge(lam, steps, n0)(series)).sum())
            cells.append(measurement.share(failing, seeds))
        yield cells


if __name__ == "__main__":
    seeds = measurement.parse_seeds(__doc__, 1000)
    measurement.print_table(["shape"] + [f"λ = {lam:g}" for lam in LAMBDAS], lines(seeds))
