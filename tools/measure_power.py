#!/usr/bin/env python3
"""How often the check catches an impostor (tools/impostors.py): the share of
S seeds whose whole check fails, per impostor, for each shape and lambda
presented (docs/statistics.md). The first line is the program's own series, for
comparison: its share is the false-failure rate."""
import measurement

from cascade.stats import _check  # noqa: E402

import impostors  # noqa: E402  (needs the package on the path)

# (step_number, n0, lambda presented)
COLUMNS = [(16, 1, 0.5), (16, 1, 1.5), (10, 64, 0.5), (10, 64, 1.5)]
BATCH_VALUES = 1 << 22


def caught(judge, make, lam, steps, n0, seeds):
    return measurement.failing(judge, lambda seed: make(lam, seed, steps, n0), seeds, n0 << steps, BATCH_VALUES)


def lines(seeds, columns=None):
    columns = columns or COLUMNS
    judges = [_check.judge(lam, steps, n0) for steps, n0, lam in columns]
    for name, make in impostors.IMPOSTORS:
        cells = [name]
        for judge, (steps, n0, lam) in zip(judges, columns):
            cells.append(measurement.share(caught(judge, make, lam, steps, n0, range(1, seeds + 1)), seeds))
        yield cells


if __name__ == "__main__":
    seeds = measurement.parse_seeds(__doc__, 200)
    header = [f"{measurement.shape_name(steps, n0)}, λ {lam:g}" for steps, n0, lam in COLUMNS]
    measurement.print_table(["impostor"] + header, lines(seeds))
