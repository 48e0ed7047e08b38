#!/usr/bin/env python3
"""How often the 95% intervals of lag_covariance, structure_functions and
scaling_exponents hold the truth, over philox seeds 1..S of each law's series
(docs/statistics.md, "Estimators of the scaling"): 64 × 2^10 (one series, its
64 cells the jackknife's units) and 1 × 2^16 (one cell, which the estimators
refuse alone: an ensemble of R realizations, the units), at lambda 0.4 and 1.5.
Each interval is counted twice: the estimator's own (Student's t, units - 1
degrees of freedom) and estimate ± 1.96 standard errors.

Truths: C(l) of log|x| about the true mean, exact (theory); S_2(16) = 16 of
the walk, exact; zeta_walk(2) = 1, exact at every scale; zeta_walk(1) and
zeta_walk(3), which have no exact value at finite size: the fitted exponent
of a pooled independent sample of many more cells (seeds from 10^9 up), its
own standard error given. A second table gives that pooled value against the
limit q/2 + zeta_W(q) (the fit's finite-size bias), a third the exact
finite-size exponents of the walk at q = 4 and of |x| at q = 2 against
their limits, a fourth why one cell is refused: the jackknife over blocks of
one series against the spread of the estimate over seeds."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

import cascade  # noqa: E402
from cascade.stats import _scaling_exponents, _structure_theory  # noqa: E402
from cascade.stats import lag_covariance, scaling_exponents, structure_functions, theory  # noqa: E402

NORMAL_95 = 1.96
LAMBDAS = (0.4, 1.5)
# (step_number, n0, realizations, laws)
SHAPES = [(10, 64, 1, ("lognormal", "binomial", "microcanonical", "logpoisson")),
          (16, 1, 8, ("lognormal", "binomial"))]
LAGS = (1, 16, 256)
SCALES = (4, 8, 16, 32, 64)
WALK_SCALE = 16
ORDERS = (1.0, 2.0, 3.0)
POOLED_VALUES = 1 << 24  # per pooled sample, for the truths of zeta(1) and zeta(3)
POOLED_SEED = 1_000_000_000
COLUMNS = [f"C({lag})" for lag in LAGS] + [f"S_2({WALK_SCALE}) walk"] + [f"ζ_walk({q:g})" for q in ORDERS]


def sample(lam, steps, n0, realizations, law, seed):
    """One sample: a series of n0 cells, or an ensemble of `realizations` series (seeds drawn apart)."""
    if realizations == 1:
        return cascade.generate(lam, steps, n0, seed, generator="philox", law=law)
    seeds = [seed * realizations + k for k in range(realizations)]
    return cascade.generate_ensemble(lam, steps, n0, seeds, generator="philox", law=law)


def pooled_exponents(lam, steps, n0, law):
    """The walk's fitted exponents at ORDERS from POOLED_VALUES values in rows of fresh seeds."""
    rows = max(8, POOLED_VALUES // (n0 << steps))
    ensemble = cascade.generate_ensemble(lam, steps, n0, range(POOLED_SEED, POOLED_SEED + rows),
                                         generator="philox", law=law)
    return scaling_exponents(ensemble, steps, n0, ORDERS, SCALES, lam=lam, law=law, realizations=rows)


def estimates(lam, steps, n0, realizations, law, seed):
    """(estimates, standard errors, own interval lows, highs) of the COLUMNS for one sample."""
    x = sample(lam, steps, n0, realizations, law, seed)
    keywords = dict(lam=lam, law=law, realizations=realizations)
    parts = [lag_covariance(x, steps, n0, LAGS, **keywords),
             structure_functions(x, steps, n0, [2.0], [WALK_SCALE], of="walk", **keywords),
             scaling_exponents(x, steps, n0, ORDERS, SCALES, of="walk", **keywords)]
    return [np.concatenate([np.ravel(getattr(part, name)) for part in parts])
            for name in ("estimate", "standard_error", "low", "high")]


def truths(lam, steps, n0, law):
    """(truth per column, the pooled exponents): exact where theory has it, else the pooled fit."""
    pooled = pooled_exponents(lam, steps, n0, law)
    exponents = np.where(np.isnan(pooled.finite_size), pooled.estimate, pooled.finite_size)
    return np.concatenate([theory(lam, steps, n0, lags=LAGS, law=law).lag_covariance, [float(WALK_SCALE)],
                           exponents]), pooled


def lines(seeds, shapes=SHAPES, lambdas=LAMBDAS):
    coverage, bias = [], []
    for steps, n0, realizations, laws in shapes:
        shape = measurement.shape_name(steps, n0) + (f" ({realizations} realizations)" if realizations > 1 else "")
        for lam in lambdas:
            for law in laws:
                truth, pooled = truths(lam, steps, n0, law)
                rows = [estimates(lam, steps, n0, realizations, law, seed) for seed in seeds]
                value, error, low, high = (np.array(part) for part in zip(*rows))
                own = ((low <= truth) & (truth <= high)).sum(axis=0)
                normal = (np.abs(value - truth) <= NORMAL_95 * error).sum(axis=0)
                coverage.append([shape, f"{lam:g}", law] + [f"{100 * a / len(seeds):.1f} / {100 * b / len(seeds):.1f}"
                                                           for a, b in zip(own, normal)])
                spread = value.std(axis=0, ddof=1)[-len(ORDERS):]
                bias.append([shape, f"{lam:g}", law] + [
                    f"{p:.4f} ± {e:.4f} vs {t:.4f}: {p - t:+.4f}; SE/sd {m / s:.2f}"
                    for p, e, t, m, s in zip(pooled.estimate, pooled.standard_error, pooled.theory,
                                             error.mean(axis=0)[-len(ORDERS):], spread)])
    return coverage, bias


def exact_against_limit(lambdas=LAMBDAS):
    """The exact finite-size exponents (fitted over SCALES) against their limits, from theory alone."""
    result = []
    for steps, n0, _, laws in SHAPES:
        for lam in lambdas:
            for law in laws:
                cells = []
                for of, q in [("walk", 4.0), ("x", 4.0), ("abs", 2.0)]:
                    exact = _structure_theory.exact_table(lam, steps, [q], np.array(SCALES), of, law)
                    finite = _scaling_exponents.slopes(exact, np.array(SCALES))[0]
                    limit = _scaling_exponents.limit_exponents(lam, steps, np.array([q]), of, law)[0]
                    cells.append(f"{finite:.4f} vs {limit:.4f}")
                result.append([measurement.shape_name(steps, n0), f"{lam:g}", law] + cells)
    return result


def blocks_of_one_cell(seeds, lambdas=LAMBDAS, steps=16, block_steps=10):
    """One 1 × 2^steps series with its blocks of 2^block_steps taken as if they were cells: the mean
    jackknife standard error over the seeds against the estimates' spread over them, for C(1) about
    the true and the sample mean, S_2(WALK_SCALE) of the walk and zeta_walk at ORDERS."""
    blocks = 1 << (steps - block_steps)
    result = []
    for lam in lambdas:
        values, errors = [], []
        for seed in seeds:
            x = cascade.generate(lam, steps, 1, seed, generator="philox")
            parts = [lag_covariance(x, block_steps, blocks, [1], lam=lam), lag_covariance(x, block_steps, blocks, [1]),
                     structure_functions(x, block_steps, blocks, [2.0], [WALK_SCALE]),
                     scaling_exponents(x, block_steps, blocks, ORDERS, SCALES)]
            values.append(np.concatenate([np.ravel(part.estimate) for part in parts]))
            errors.append(np.concatenate([np.ravel(part.standard_error) for part in parts]))
        ratio = np.mean(errors, axis=0) / np.std(values, axis=0, ddof=1)
        result.append([f"1 × 2^{steps}", f"{lam:g}", f"{blocks} blocks of 2^{block_steps}"]
                      + [f"{r:.2f}" for r in ratio])
    return result


if __name__ == "__main__":
    seeds = range(1, measurement.parse_seeds(__doc__, 200) + 1)
    measurement.print_table(["shape", "λ", "law", "walk ζ(4): exact at these scales vs limit",
                             "x ζ(4)", "abs ζ(2)"], exact_against_limit())
    print()
    measurement.print_table(["series", "λ", "jackknife over", "C(1) true mean: SE/sd", "C(1) sample mean",
                             f"S_2({WALK_SCALE}) walk"] + [f"ζ_walk({q:g})" for q in ORDERS], blocks_of_one_cell(seeds))
    print()
    coverage, bias = lines(seeds)
    measurement.print_table(["shape", "λ", "law"] + [f"{name} covered: t / ±1.96 (%)" for name in COLUMNS],
                            coverage)
    print()
    measurement.print_table(["shape", "λ", "law"] + [f"ζ_walk({q:g}): pooled vs limit, SE/sd" for q in ORDERS],
                            bias)
