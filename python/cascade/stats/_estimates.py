"""The rows of the check, from block sums of a series.

The compiled module adds up, per block of a series, what every row needs
(cascade_native.block_sums): the count of values that are not 0, the sums of
x^2, log|x| and log^2|x|, and per lag the pairs that stay in the block and
those that reach past it, each as count, sum of first logs, sum of second
logs and sum of products. Every row is then a ratio of sums, so series of
independent parts can be put together from their parts' sums, and a factor
shared by all the values of a block (a shift of their logs) can be applied
afterwards, exactly.

A value that is exactly 0 (a Gaussian deviate of exactly 0, or text that
printed a tiny value as 0) has no logarithm: it is left out of the rows of
log|x|, terms and counts alike. It stays in the mean square.
"""
import numpy as np

from . import _theory

ROWS_BEFORE_LAGS = ("mean x^2", "mean log|x|", "var log|x|")
MEAN_SQUARE_ROW = 0
LEADING_COLUMNS = 4
COLUMNS_PER_LAG = 8


def lags_checked(steps, count):
    """1, 2, 4, ... up to the cell length 2^steps, where the series is long enough."""
    return [1 << p for p in range(steps + 1) if (1 << p) < count]


def row_names(lags):
    return list(ROWS_BEFORE_LAGS) + [f"C({lag})" for lag in lags]


def theory_values(lam, steps, count, lags, law="lognormal"):
    return np.array([_theory.mean_square(),
                     _theory.mean_log_magnitude(lam, steps, law),
                     _theory.variance_log_magnitude(lam)]
                    + [_theory.lag_covariance(lam, steps, count, lag, law) for lag in lags])


def block_sums(values, block_length, lags):
    """(blocks, columns) sums of a 1-D series, from the compiled module."""
    from cascade import cascade_native  # the package's compiled module, loaded with the package

    return cascade_native.block_sums(np.ascontiguousarray(values, dtype=np.float64), int(block_length),
                                     [int(lag) for lag in lags])


def rows(sums, lam, count, lags, shifts=None, partner_offsets=None, mean_log=None):
    """Each row's estimate, (...,) rows from sums (..., blocks, columns).

    shifts (..., blocks): a log factor shared by all the values of each block
    (None: none); partner_offsets: per lag, how many blocks on the block that a
    pair reaching past its own block ends in; mean_log: the true E[log|x|] that
    the variance and covariances are taken about (None: the log-normal law's at lam)."""
    if mean_log is None:
        mean_log = _theory.mean_log_magnitude(lam)
    logged, squares, log_sum, log_squares = (sums[..., column] for column in range(LEADING_COLUMNS))
    if shifts is None:
        sums = sums.sum(axis=-2, keepdims=True)
        logged, squares, log_sum, log_squares = (sums[..., column] for column in range(LEADING_COLUMNS))
        shifts = np.zeros(logged.shape)
        partner_offsets = [0] * len(lags)
    centre = shifts - mean_log
    with np.errstate(invalid="ignore", divide="ignore", over="ignore"):
        values = logged.sum(axis=-1)
        result = [(np.exp(2.0 * shifts) * squares).sum(axis=-1) / count,
                  (logged * shifts + log_sum).sum(axis=-1) / values,
                  (logged * centre * centre + 2.0 * centre * log_sum + log_squares).sum(axis=-1) / values]
        for k, offset in enumerate(partner_offsets):
            base = LEADING_COLUMNS + COLUMNS_PER_LAG * k
            pairs, first, second, products = (sums[..., base + j] for j in range(4))
            far_pairs, far_first, far_second, far_products = (sums[..., base + 4 + j] for j in range(4))
            partner = np.zeros_like(centre)
            partner[..., :centre.shape[-1] - offset] = centre[..., offset:]
            if offset == 0:
                partner = centre
            total = (pairs * centre * centre + centre * (first + second) + products
                     + far_pairs * centre * partner + centre * far_second + partner * far_first + far_products)
            result.append(total.sum(axis=-1) / (pairs + far_pairs).sum(axis=-1))
    return np.stack(result, axis=-1)


def row_counts(sums, lags):
    """How many terms each row has, from sums (..., blocks, columns)."""
    totals = sums.sum(axis=-2)
    counts = [np.full(totals.shape[:-1], np.nan), totals[..., 0], totals[..., 0]]
    for k in range(len(lags)):
        base = LEADING_COLUMNS + COLUMNS_PER_LAG * k
        counts.append(totals[..., base] + totals[..., base + 4])
    return np.stack(counts, axis=-1)


def series_rows(series, lam, lags, mean_log=None):
    """Row estimates of each series of a batch (series, count), and their sums (series, 1, columns)."""
    series = np.atleast_2d(series)
    sums = np.stack([block_sums(one, one.size, lags) for one in series])
    return rows(sums, lam, series.shape[1], lags, mean_log=mean_log), sums
