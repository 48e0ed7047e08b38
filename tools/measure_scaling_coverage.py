#!/usr/bin/env python3
"""How often the 95% intervals of lag_covariance, structure_functions and
scaling_exponents hold their exact value, over philox seeds 1..S of each law's
series: 64 × 2^10 (one series, its 64 cells the jackknife's units) and 32
realizations of 1 × 2^16 (one ensemble, its realizations the units), at
lambda 0.4 and 1.5 (docs/statistics.md). Exact values: C(l) of log|x| about the
true mean, S_2(l) = l of the walk, zeta(2) = 1 of the walk and 0 of x. A
second table gives the fitted walk exponents at q = 1 and 3 against their
limit q/2 + zeta_W(q): the mean shift over the seeds, in units of the
estimate's spread over them, and how often the intervals hold the limit."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

import cascade  # noqa: E402
from cascade.stats import lag_covariance, scaling_exponents, structure_functions  # noqa: E402

LAWS = ("lognormal", "binomial", "microcanonical", "logpoisson")
SHAPES = [(10, 64, 1), (16, 1, 32)]  # (step_number, n0, realizations)
LAMBDAS = (0.4, 1.5)
LAGS = (1, 16, 256)
SCALES = (4, 8, 16, 32, 64)
WALK_SCALE = 16


def sample(lam, steps, n0, realizations, law, seed):
    """One sample: a series of n0 cells, or an ensemble of `realizations` series (seeds drawn apart)."""
    if realizations == 1:
        return cascade.generate(lam, steps, n0, seed, generator="philox", law=law)
    seeds = [seed * realizations + k for k in range(realizations)]
    return cascade.generate_ensemble(lam, steps, n0, seeds, generator="philox", law=law)


def measured(lam, shape, law, seeds):
    """Per seed: held (C at each lag, S_2, zeta_walk(2), zeta_x(2)), walk zeta(1), zeta(3) with their errors."""
    steps, n0, realizations = shape
    held, exponents, errors, limit = [], [], [], None
    for seed in seeds:
        x = sample(lam, steps, n0, realizations, law, seed)
        keywords = dict(lam=lam, law=law, realizations=realizations)
        covariance = lag_covariance(x, LAGS, steps, n0, **keywords)
        second = structure_functions(x, [2.0], [WALK_SCALE], steps, n0, of="walk", **keywords)
        walk = scaling_exponents(x, [1.0, 2.0, 3.0], SCALES, steps, n0, of="walk", **keywords)
        of_x = scaling_exponents(x, [2.0], SCALES, steps, n0, of="x", **keywords)
        inside = [(row.low <= row.theory) & (row.theory <= row.high) for row in (covariance, second, walk, of_x)]
        held.append(np.concatenate([inside[0], inside[1][0], inside[2][[1]], inside[3]]))
        exponents.append(walk.estimate[[0, 2]])
        errors.append(walk.standard_error[[0, 2]])
        limit = walk.theory[[0, 2]]
        limit_held = (walk.low[[0, 2]] <= limit) & (limit <= walk.high[[0, 2]])
        held[-1] = np.concatenate([held[-1], limit_held])
    return np.array(held), np.array(exponents), np.array(errors), limit


def lines(seeds, shapes=SHAPES, lambdas=LAMBDAS, laws=LAWS):
    coverage, bias = [], []
    for steps, n0, realizations in shapes:
        shape = measurement.shape_name(steps, n0, realizations)
        for lam in lambdas:
            for law in laws:
                held, exponents, errors, limit = measured(lam, (steps, n0, realizations), law, seeds)
                counts = held.sum(axis=0)
                coverage.append([shape, f"{lam:g}", law] + [measurement.share(int(c), len(seeds))
                                                           for c in counts[:-2]])
                spread = exponents.std(axis=0, ddof=1)
                shift = exponents.mean(axis=0) - limit
                bias.append([shape, f"{lam:g}", law] + [
                    f"{s:+.4f} ({s / sd:+.2f}), SE/sd {e / sd:.2f}, limit held {measurement.share(int(c), len(seeds))}"
                    for s, sd, e, c in zip(shift, spread, errors.mean(axis=0), counts[-2:])])
    return coverage, bias


if __name__ == "__main__":
    seeds = range(1, measurement.parse_seeds(__doc__, 200) + 1)
    coverage, bias = lines(seeds)
    measurement.print_table(["shape", "λ", "law"] + [f"C({lag})" for lag in LAGS]
                            + [f"S_2({WALK_SCALE}) walk", "ζ_walk(2)", "ζ_x(2)"], coverage)
    print()
    measurement.print_table(["shape", "λ", "law", "ζ_walk(1): mean − limit (in sd)", "ζ_walk(3): mean − limit (in sd)"],
                            bias)
