#!/usr/bin/env python3
"""Bias and coverage of cascade.stats.estimate_lambda under each multiplier law: over philox
seeds 1..S of each law's series (the laws of cascade.laws()) at each shape and lambda, the
estimate's mean less lambda (in % of lambda, and in standard deviations of the estimate over
the seeds), the mean jackknife error against that spread, and how often the 95% interval holds
lambda; read by the law's own theory (law=), and by the log-normal's where the two differ
(docs/statistics.md)."""
import measurement

import numpy as np  # noqa: E402  (measurement checks for it and puts the package on the path)

import cascade  # noqa: E402
from cascade.stats import estimate_lambda, theory  # noqa: E402

# (lambda, step_number, n0): 2^14 values each, 16 cells (32 half-cells, the jackknife's fewest) and 64.
SHAPES = [(0.4, 10, 16), (1.0, 10, 16), (1.0, 8, 64)]


def readings(law, steps, n0):
    """The law's own theory, and the log-normal's where its lag covariance differs (the estimate's rows)."""
    own, lognormal = (theory(1.0, steps, n0, law=name).lag_covariance for name in (law, "lognormal"))
    return [law] if np.array_equal(own, lognormal) else [law, "lognormal"]


def estimates(law, reading, seeds, shape):
    """(estimates of lambda, their standard errors, how many intervals hold lambda), the
    series of `law` read by the theory of `reading`."""
    lam, steps, n0 = shape
    found, errors, held = [], [], 0
    for seed in seeds:
        x = cascade.generate(lam, steps, n0, seed, generator="philox", law=law)
        fit = estimate_lambda(x, steps, n0, law=reading)
        found.append(fit.lam)
        # The error of lambda from that of lambda^2: d lambda = d lambda^2 / (2 lambda).
        errors.append(fit.standard_error / (2 * fit.lam) if fit.lam > 0 else np.nan)
        held += fit.low <= lam <= fit.high
    return np.array(found), np.array(errors), held


def lines(seeds, shapes=SHAPES, laws=None):
    for lam, steps, n0 in shapes:
        for law in laws or cascade.laws():
            for reading in readings(law, steps, n0):
                found, errors, held = estimates(law, reading, seeds, (lam, steps, n0))
                shift, spread = found.mean() - lam, found.std(ddof=1)
                yield [measurement.shape_name(steps, n0), f"{lam:g}", law, reading,
                       f"{100 * shift / lam:+.2f}% ({shift / spread:+.2f} sd)", f"{np.nanmean(errors) / spread:.2f}",
                       measurement.share(int(held), len(seeds))]


if __name__ == "__main__":
    count = measurement.parse_seeds(__doc__, 400)
    measurement.print_table(["shape", "λ", "law", "theory", "mean − λ", "SE/sd", "95% interval holds λ"],
                            lines(range(1, count + 1)))
