#!/usr/bin/env python3
"""How often the 95% intervals (estimate ± 1.96 standard errors) of
cascade.stats.log_cumulants hold each law's kappa2, kappa3, kappa4 and
siblings' tie, over philox seeds 1..S of the program's series of each law
(64 × 2^10, lambda 1.5); the estimates' mean less the law's value, also in
standard deviations of the estimate over the seeds (with the mean jackknife
error in the same unit); and how often compare_laws finds each law's series
agreeing with each law (docs/laws.md)."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

import cascade  # noqa: E402
from cascade.stats import compare_laws  # noqa: E402
from cascade.stats._log_cumulants import law_targets  # noqa: E402

LAWS = tuple(cascade.laws())
SHAPE = (1.5, 10, 64)  # lambda, step_number, n0
ESTIMATES = ("κ2", "κ3", "κ4", "tie")
NORMAL_95 = 1.96


def series(law, seed, shape=SHAPE):
    lam, steps, n0 = shape
    return cascade.generate(lam, steps, n0, seed, generator="philox", law=law)


def measured(law, seeds, shape=SHAPE):
    """Per seed: the estimates, their standard errors, and which laws compare_laws finds agreeing."""
    lam, steps, n0 = shape
    estimates, errors, agreeing = [], [], []
    for seed in seeds:
        comparison = compare_laws(series(law, seed, shape), lam, steps, n0, laws=LAWS)
        estimates.append(comparison.estimates.estimates)
        errors.append(comparison.estimates.standard_errors)
        agreeing.append([row.agrees for row in comparison])
    return np.array(estimates), np.array(errors), np.array(agreeing)


def lines(seeds, shape=SHAPE):
    """The three tables' lines: coverage, bias, agreement."""
    lam, steps, n0 = shape
    coverage, bias, agreement = [], [], []
    for law in LAWS:
        truth = law_targets(lam, steps, n0, law)
        estimates, errors, agreeing = measured(law, seeds, shape)
        held = (np.abs(estimates - truth) <= NORMAL_95 * errors).sum(axis=0)
        coverage.append([law] + [measurement.share(int(count), len(seeds)) for count in held])
        spread = estimates.std(axis=0, ddof=1)
        bias.append([law] + [f"{shift:+.4f} ({shift / sd:+.2f}), SE/sd {error / sd:.2f}"
                             for shift, sd, error in zip(estimates.mean(axis=0) - truth, spread,
                                                         errors.mean(axis=0))])
        agreement.append([law] + [measurement.share(int(count), len(seeds)) for count in agreeing.sum(axis=0)])
    return coverage, bias, agreement


if __name__ == "__main__":
    seeds = range(1, measurement.parse_seeds(__doc__, 200) + 1)
    coverage, bias, agreement = lines(seeds)
    measurement.print_table(["law of the series"] + [f"{name} covered" for name in ESTIMATES], coverage)
    print()
    measurement.print_table(["law of the series"] + [f"{name}: mean − theory (in sd)" for name in ESTIMATES], bias)
    print()
    measurement.print_table(["law of the series"] + [f"agrees with {law}" for law in LAWS], agreement)
