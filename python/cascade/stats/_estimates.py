"""Estimates of a cascade series' statistics, their standard errors and theory.

Standard errors. The two halves of an initial cell share no factor (the
first step gives each its own), so a series of n0 cells is 2 n0 independent,
identically distributed half-cells. Every statistic here is a sum of terms
(values, or lag pairs counted in the half-cell where the pair starts) divided
by their number, so it splits into half-cell sums S_h. About the true mean of
log|x| these sums are uncorrelated: a pair reaching into a later half-cell
has a factor independent of everything else in both sums. Hence
Var(sum S_h) = sum Var(S_h), and sum (S_h - E S_h)^2, with E S_h from theory,
estimates it without assuming anything else. Measuring the spread about
the theory rather than about the sample keeps a few large values, which
dominate x^2 for large lambda, from shrinking the error bar just when they
are missing.

Smaller blocks would not do: quarter-cells and below share their ancestors'
factors, so their spread understates the error. With fewer than
MIN_HALF_CELLS half-cells the series cannot measure its own error, and the
spread is taken over half-cells of simulated series of the same shape.
"""
import math
from dataclasses import dataclass

import numpy as np

import cascade_model
import cascade_theory

AGREEMENT_IN_STANDARD_ERRORS = 4.0
MIN_HALF_CELLS = 64
# Simulated cells behind a reference spread: enough that its own noise stays
# a few percent, within a bounded number of values for long cells.
REFERENCE_CELLS_MOST = 1024
REFERENCE_CELLS_LEAST = 128
REFERENCE_VALUES = 1 << 25
REFERENCE_SEED = 20240611


@dataclass(frozen=True)
class Row:
    name: str
    estimate: float
    standard_error: float
    theory: float

    @property
    def deviation(self):
        """(estimate - theory) in standard errors."""
        if self.standard_error > 0:
            return (self.estimate - self.theory) / self.standard_error
        return 0.0 if self.estimate == self.theory else math.copysign(math.inf, self.estimate - self.theory)

    @property
    def agrees(self):
        return abs(self.deviation) <= AGREEMENT_IN_STANDARD_ERRORS


def lags_checked(steps, count):
    """1, 2, 4, ... up to the cell length 2^steps, where the series is long enough."""
    return [1 << p for p in range(steps + 1) if (1 << p) < count]


def row_names(lags):
    return ["mean x^2", "mean log|x|", "var log|x|"] + [f"C({lag})" for lag in lags]


def theory_values(lam, steps, count, lags):
    return np.array([cascade_theory.mean_square(),
                     cascade_theory.mean_log_magnitude(lam),
                     cascade_theory.variance_log_magnitude(lam)]
                    + [cascade_theory.lag_covariance(lam, steps, count, lag) for lag in lags])


def half_cell_sums(values, lam, lags, half_cells):
    """Per half-cell sums of every row's terms (rows x half_cells), and each row's number of terms."""
    count = values.size
    logs = np.log(np.abs(values))
    centred = logs - cascade_theory.mean_log_magnitude(lam)

    def per_half_cell(terms):
        starts = np.arange(0, terms.size, count // half_cells)
        sums = np.zeros(half_cells)
        sums[:starts.size] = np.add.reduceat(terms, starts)
        return sums

    rows = [per_half_cell(values * values), per_half_cell(logs), per_half_cell(centred * centred)]
    rows += [per_half_cell(centred[:-lag] * centred[lag:]) for lag in lags]
    term_counts = np.array([count] * 3 + [count - lag for lag in lags], dtype=float)
    return np.array(rows), term_counts


def spread_about_theory(sums, term_counts, theory):
    """sum over half-cells of (S_h - E S_h)^2: the variance of each row's total."""
    expected = (theory * term_counts / sums.shape[1])[:, None]
    return ((sums - expected) ** 2).sum(axis=1)


def reference_cells(steps):
    return min(REFERENCE_CELLS_MOST, max(REFERENCE_CELLS_LEAST, REFERENCE_VALUES >> steps))


def reference_spread(lam, steps, n0, lags, theory):
    """The same spread, averaged over simulated series of n0 cells (a fixed seed: a check is repeatable)."""
    rng = np.random.default_rng(REFERENCE_SEED)
    replicates = math.ceil(reference_cells(steps) / n0)
    total = 0.0
    for _ in range(replicates):
        series = cascade_model.cascade_series(rng, lam, steps, n0)
        sums, term_counts = half_cell_sums(series, lam, lags, 2 * n0)
        total = total + spread_about_theory(sums, term_counts, theory)
    return total / replicates


def uses_reference(n0):
    return 2 * n0 < MIN_HALF_CELLS


@dataclass(frozen=True)
class Check:
    rows: list
    error_source: str

    @property
    def disagreeing(self):
        return [row.name for row in self.rows if not row.agrees]


def check_series(values, lam, steps, n0):
    """Every statistic of a series of n0 cells of 2^steps values, against theory."""
    lags = lags_checked(steps, values.size)
    theory = theory_values(lam, steps, values.size, lags)
    sums, term_counts = half_cell_sums(values, lam, lags, 2 * n0)
    if uses_reference(n0):
        spread = reference_spread(lam, steps, n0, lags, theory)
        source = (f"from simulated series of the same shape (about {reference_cells(steps)} cells in all), "
                  f"as {2 * n0} half-cells are too few to measure their own spread")
    else:
        spread = spread_about_theory(sums, term_counts, theory)
        source = f"from the spread of the series' {2 * n0} independent half-cells about theory"
    estimates = sums.sum(axis=1) / term_counts
    errors = np.sqrt(spread) / term_counts
    rows = [Row(name, float(e), float(s), float(t))
            for name, e, s, t in zip(row_names(lags), estimates, errors, theory)]
    return Check(rows, source)
