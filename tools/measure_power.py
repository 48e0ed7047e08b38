#!/usr/bin/env python3
"""How often the check catches an impostor: the share of S seeds whose whole
check fails, per impostor and shape, with a line of 20 realizations checked
together (README table). The first column is a correct series, for comparison."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

from cascade.stats import _check, simulate  # noqa: E402

LAM = 0.5


def program(lam, steps=0, n0=1):
    """The program's series at `lam`, of the presented shape, or of `steps` fewer with as many values."""
    return lambda seed, s, n: simulate.simulate(lam, s - steps, n << steps, seed)


def shuffled(seed, steps, n0):
    return np.random.default_rng(seed).permutation(simulate.simulate(LAM, steps, n0, seed))


def independent_log_normal(seed, steps, n0):
    rng = np.random.default_rng(seed)
    count = n0 << steps
    return np.exp(-LAM * LAM + LAM * rng.standard_normal(count)) * rng.standard_normal(count)


# (name, lambda presented, series of seed and presented shape)
IMPOSTORS = [
    (f"correct, λ = {LAM:g}", LAM, program(LAM)),
    ("noise as λ = 0.5", 0.5, program(0.0)),
    ("noise as λ = 0.7", 0.7, program(0.0)),
    (f"λ = {0.75 * LAM:g} as {LAM:g}", LAM, program(0.75 * LAM)),
    (f"λ = {1.25 * LAM:g} as {LAM:g}", LAM, program(1.25 * LAM)),
    (f"shuffled λ = {LAM:g}", LAM, shuffled),
    ("one step fewer", LAM, program(LAM, steps=1)),
    (f"i.i.d. log-normal λ = {LAM:g}", LAM, independent_log_normal),
]


def caught(judge, make, steps, n0, seeds, realizations):
    series = np.array([np.concatenate([make(seed * realizations + k, steps, n0) for k in range(realizations)])
                       for seed in seeds])
    return int((~judge(series)).sum())


def lines(seeds):
    for steps, n0, realizations in [(s, n, 1) for s, n in measurement.SHAPES] + [measurement.ENSEMBLE]:
        cells = [measurement.shape_name(steps, n0, realizations)]
        judges = {lam: _check.judge(lam, steps, n0 * realizations) for lam in {lam for _, lam, _ in IMPOSTORS}}
        for _, lam, make in IMPOSTORS:
            count = caught(judges[lam], make, steps, n0, range(1, seeds + 1), realizations)
            cells.append(measurement.share(count, seeds))
        yield cells


if __name__ == "__main__":
    seeds = measurement.parse_seeds(__doc__, 200)
    measurement.print_table(["shape"] + [name for name, _, _ in IMPOSTORS], lines(seeds))
