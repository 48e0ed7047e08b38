#!/usr/bin/env python3
"""How often the 95% intervals (estimate ± 1.96 standard errors) of
cascade.stats.log_cumulants hold each law's kappa2, kappa3, kappa4 and
siblings' tie, over philox seeds 1..S of the program's series of each law
(64 × 2^10, lambda 1.5); then how often compare_laws finds each law's series
agreeing with each law (docs/laws.md)."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

import cascade  # noqa: E402
from cascade.stats import compare_laws, log_cumulants  # noqa: E402
from cascade.stats._log_cumulants import law_targets  # noqa: E402

LAWS = ("lognormal", "binomial", "microcanonical", "logpoisson")
SHAPE = (1.5, 10, 64)  # lambda, step_number, n0
ESTIMATES = ("κ2", "κ3", "κ4", "tie")
NORMAL_95 = 1.96


def series(law, seed, shape=SHAPE):
    lam, steps, n0 = shape
    return cascade.generate(lam, steps, n0, seed, generator="philox", law=law)


def coverage_lines(seeds, shape=SHAPE):
    lam, steps, n0 = shape
    for law in LAWS:
        truth = law_targets(lam, steps, n0, law)
        held = np.zeros(len(ESTIMATES), dtype=int)
        for seed in seeds:
            found = log_cumulants(series(law, seed, shape), steps, n0)
            held += np.abs(found.estimates - truth) <= NORMAL_95 * found.standard_errors
        yield [law] + [measurement.share(int(count), len(seeds)) for count in held]


def agreement_lines(seeds, shape=SHAPE):
    lam, steps, n0 = shape
    for law in LAWS:
        agreeing = np.zeros(len(LAWS), dtype=int)
        for seed in seeds:
            agreeing += [row.agrees for row in compare_laws(series(law, seed, shape), lam, steps, n0)]
        yield [law] + [measurement.share(int(count), len(seeds)) for count in agreeing]


if __name__ == "__main__":
    seeds = range(1, measurement.parse_seeds(__doc__, 200) + 1)
    measurement.print_table(["law of the series"] + [f"{name} covered" for name in ESTIMATES],
                            coverage_lines(seeds))
    print()
    measurement.print_table(["law of the series"] + [f"agrees with {law}" for law in LAWS], agreement_lines(seeds))
