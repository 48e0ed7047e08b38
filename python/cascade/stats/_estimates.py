"""The rows of the check, as sums over half-cells, for a batch of series at once.

The two halves of an initial cell share no factor (the first step gives each
its own), so a series of n0 cells is 2 n0 independent half-cells. Every row
is a sum of terms (values, or lag pairs counted in the half-cell where the
pair starts) divided by their number, so it splits into half-cell sums of
terms and of counts: the reference distribution draws series from those.

A value that is exactly 0 (a Gaussian deviate of exactly 0, or text that
printed a tiny value as 0) has no logarithm: it is left out of the rows of
log|x|, terms and counts alike. It stays in the mean square.
"""
import numpy as np

from . import _theory

ROWS_BEFORE_LAGS = ("mean x^2", "mean log|x|", "var log|x|")
MEAN_SQUARE_ROW = 0


def lags_checked(steps, count):
    """1, 2, 4, ... up to the cell length 2^steps, where the series is long enough."""
    return [1 << p for p in range(steps + 1) if (1 << p) < count]


def row_names(lags):
    return list(ROWS_BEFORE_LAGS) + [f"C({lag})" for lag in lags]


def theory_values(lam, steps, count, lags):
    return np.array([_theory.mean_square(),
                     _theory.mean_log_magnitude(lam),
                     _theory.variance_log_magnitude(lam)]
                    + [_theory.lag_covariance(lam, steps, count, lag) for lag in lags])


def _per_half_cell(terms, count, half_cells):
    """(series, m) terms with m <= count -> (series, half_cells) sums; a half-cell past m sums to 0."""
    length = count // half_cells
    starts = np.arange(0, terms.shape[1], length)
    sums = np.zeros((terms.shape[0], half_cells))
    sums[:, :starts.size] = np.add.reduceat(terms, starts, axis=1)
    return sums


def half_cell_sums(series, lam, lags, half_cells):
    """Sums of each row's terms and their counts per half-cell: two (series, half_cells, rows) arrays."""
    series = np.atleast_2d(series)
    count = series.shape[1]
    has_log = series != 0
    logs = np.log(np.abs(np.where(has_log, series, 1.0)))
    centred = (logs - _theory.mean_log_magnitude(lam)) * has_log
    logged = has_log.astype(float)

    def sums(terms):
        return _per_half_cell(terms, count, half_cells)

    terms = [sums(series * series), sums(logs), sums(centred * centred)]
    terms += [sums(centred[:, :-lag] * centred[:, lag:]) for lag in lags]
    counts = [sums(np.ones_like(logged)), sums(logged), sums(logged)]
    counts += [sums(logged[:, :-lag] * logged[:, lag:]) for lag in lags]
    return np.stack(terms, axis=-1), np.stack(counts, axis=-1)


def row_estimates(terms, counts):
    """Each row's estimate from half-cell sums: (series, half_cells, rows) -> (series, rows)."""
    with np.errstate(invalid="ignore", divide="ignore"):
        return terms.sum(axis=1) / counts.sum(axis=1)
