"""Lambda of a series of known shape, with a 95% confidence interval.

Two views of lambda^2 meet in one least-squares line. The variance of log|x|
is lambda^2 + pi^2/8 = n sigma^2 + pi^2/8, and the lag covariance at 2^p is
sigma^2 N/(N - 2^p) g_p with g_p = n - p - 2 + 2^(p+1-n): both are sigma^2
times a known number, the variance with the largest. Taken about the sample
mean of log|x| (lambda is unknown, so its theoretical mean is too), each is
lower by about the variance of that mean; the line's intercept takes up that
shift, and lambda^2 = n times its slope.

The interval is on lambda^2: a delete-one-half-cell jackknife (half-cells are
independent) with Student's t for 2 n0 - 1 degrees of freedom; its square root
bounds lambda (a lower bound below 0 becomes 0). Where the estimate of
lambda^2 is at most 0 nothing tells lambda from 0: the interval is one-sided,
[0, high], with high the square root of the one-sided 95% upper bound on
lambda^2 from an estimate taken at 0, its least possible value. With fewer than
LEAST_JACKKNIFE_HALF_CELLS half-cells, the spread comes instead from series
simulated at the estimate, and so it does when the jackknife has no finite
spread (every log term of some row sits in one half-cell).

For estimates of lambda use the philox stream: the default stream's draws
correlate log|x| at lags 30 to 59 by a few thousandths (docs/reproducibility.md).

Values that are exactly 0 have no log and are left out; input that leaves
the variance of log|x| or some C(l) without terms gives no estimate and is
refused.
"""
import math
from dataclasses import dataclass

import numpy as np
from scipy import stats as scipy_stats

from . import _estimates, _jackknife, _theory
from ._check import series_values
from ._call_shape import call_shape
from ._errors import UncheckableSeries, refuse_constant_values
from ._laws import Law, parse_law
from ._models import checked_model
from .simulate import simulate
from ._docstrings import shared

LEAST_JACKKNIFE_HALF_CELLS = 32
SIMULATED_SERIES = 200
SIMULATED_VALUES = 1 << 25
SIMULATION_SEED = 720_000_000
BATCH_VALUES = 1 << 21


@dataclass(frozen=True)
class LambdaEstimate:
    lam: float
    low: float
    high: float
    lambda_squared: float
    standard_error: float
    error_source: str
    one_sided: bool
    """The estimate of lambda^2 is at most 0: the interval is [0, high], high bounding lambda at `level`."""
    law: Law
    """The multiplier law whose theory the estimate reads the series by."""
    model: str
    level: float


def _moment_sums(series, lags, half_cells):
    """Per half-cell sums of log|x| moments, (series, half_cells, columns):
    count, sum, sum of squares, then per lag: pairs, products, sum of the first, sum of the second."""
    series = np.atleast_2d(series)
    length = series.shape[1] // half_cells
    result = []
    for one in series:
        sums = _estimates.block_sums(one, length, lags)
        columns = [sums[:, 0], sums[:, 2], sums[:, 3]]
        for k in range(len(lags)):
            base = _estimates.LEADING_COLUMNS + _estimates.COLUMNS_PER_LAG * k
            near, far = sums[:, base:base + 4], sums[:, base + 4:base + 8]
            both = near + far
            columns += [both[:, 0], both[:, 3], both[:, 1], both[:, 2]]
        result.append(np.stack(columns, axis=-1))
    return np.stack(result)


def _design(steps, count, lags, law):
    """x of the variance row and of each lag row under `law`: lambda^2 = steps times the slope against it."""
    shape = [steps] + [_theory.lag_covariance(1.0, steps, count, lag, law) * steps for lag in lags]
    return np.array(shape, dtype=float)


def _lambda_squared(totals, steps, count, lags, law):
    """lambda^2 from moment totals (..., columns)."""
    values, total, squares = totals[..., 0], totals[..., 1], totals[..., 2]
    mean = total / values
    rows = [squares / values - mean * mean - _theory.LOG_ABS_NORMAL_VARIANCE]
    for k in range(len(lags)):
        pairs, products, first, second = (totals[..., 3 + 4 * k + j] for j in range(4))
        rows.append((products - mean * (first + second)) / pairs + mean * mean)
    y = np.stack(rows, axis=-1)
    x = _design(steps, count, lags, law)
    x_centred = x - x.mean()
    slope = ((y - y.mean(axis=-1, keepdims=True)) * x_centred).sum(axis=-1) / (x_centred @ x_centred)
    return steps * slope


def _missing_moments(totals, lags):
    """The rows of the estimate that the moment totals leave without terms."""
    names = [] if totals[0] >= 2 else ["var log|x|"]
    return ", ".join(names + [f"C({lag})" for k, lag in enumerate(lags) if totals[3 + 4 * k] == 0]) or "a spread"


def _simulated_error(estimate, steps, cells, lags, law):
    count = cells << steps
    series = int(np.clip(SIMULATED_VALUES // count, 16, SIMULATED_SERIES))
    lam = math.sqrt(max(estimate, 0.0))
    per_run = max(1, min(series, BATCH_VALUES // count))
    estimates = []
    for run, first in enumerate(range(0, series, per_run)):
        batch = min(per_run, series - first)
        values = simulate(lam, steps, cells * batch, SIMULATION_SEED + run, law).reshape(batch, count)
        totals = _moment_sums(values, lags, 2 * cells).sum(axis=1)
        estimates.append(_lambda_squared(totals, steps, count, lags, law))
    return float(np.std(np.concatenate(estimates), ddof=1)), series


@call_shape()
@shared
def estimate_lambda(x, step_number, n0, *, law="lognormal", model="dyadic", realizations=1, level=0.95):
    """lambda (>= 0) of a series of known shape, with a confidence interval.

    The variance of log|x| and the lag covariances at 1, 2, 4, ... are each
    lambda^2 times a number the law's theory gives; one least-squares line through
    them, about the sample mean, gives lambda^2 (the module's docstring). The
    interval is on lambda^2: a delete-one-half-cell jackknife, or with fewer than
    32 half-cells the spread over series simulated at the estimate; where the
    estimate of lambda^2 is at most 0 it is one-sided, [0, high].

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
    <<n0>>
    <<law>>
        Its lag covariance reads the series (the microcanonical law's differs).
    <<model>>
    <<realizations>>
    <<level>>

    Returns
    -------
    LambdaEstimate
        ``lam`` with its interval ``low`` .. ``high``, ``lambda_squared`` and its
        ``standard_error``, ``error_source`` (in words), ``one_sided``, ``law``,
        ``model``, ``level``.

    Raises
    ------
    <<raises>>
    UncheckableSeries
        Too few values above 0 for some row, a constant |x|, or no finite spread.

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import estimate_lambda
    >>> x = cascade.generate(0.4, 12, 64, seed=1, generator="philox")
    >>> fit = estimate_lambda(x, 12, 64)
    >>> fit.low < 0.4 < fit.high
    True
    """
    level = _jackknife.checked_level(level)
    law = parse_law(law)
    checked_model(model)
    values, step_number, n0, realizations = series_values(x, step_number, n0, realizations)
    refuse_constant_values("estimate_lambda", values)
    cells = n0 * realizations
    count = cells << step_number
    half_cells = 2 * cells
    lags = _estimates.lags_checked(step_number, count)
    per_half_cell = _moment_sums(values[None, :], lags, half_cells)[0]
    totals = per_half_cell.sum(axis=0)
    with np.errstate(invalid="ignore", divide="ignore"):
        lambda_squared = float(_lambda_squared(totals, step_number, count, lags, law))
    if not math.isfinite(lambda_squared):
        raise UncheckableSeries(f"lambda cannot be estimated: too few terms are left for "
                                f"{_missing_moments(totals, lags)}: {np.count_nonzero(values == 0)} of {count} "
                                f"values are 0")
    error = math.nan
    if half_cells >= LEAST_JACKKNIFE_HALF_CELLS:
        with np.errstate(invalid="ignore", divide="ignore"):
            left_out = _lambda_squared(totals - per_half_cell, step_number, count, lags, law)
            error = math.sqrt((half_cells - 1) / half_cells * ((left_out - left_out.mean()) ** 2).sum())
        factor = scipy_stats.t.ppf((1 + level) / 2, half_cells - 1)
        source = f"jackknife over the {half_cells} independent half-cells"
    if not math.isfinite(error):
        error, series = _simulated_error(lambda_squared, step_number, cells, lags, law)
        factor = scipy_stats.norm.ppf((1 + level) / 2)
        source = f"spread of the estimate over {series} series simulated at the estimate"
    if not math.isfinite(error):
        raise UncheckableSeries(f"lambda^2 = {lambda_squared:.5f} has no confidence interval: series simulated at "
                                f"the estimate give it no finite spread (most of their values underflow to 0)")
    _jackknife.refuse_unformed("estimate_lambda", ["lambda^2"], lambda_squared, error)
    if lambda_squared <= 0:
        # Nothing tells lambda from 0: one-sided, [0, the bound that lambda^2 stays below 95% of the time].
        one_sided = scipy_stats.t.ppf(level, half_cells - 1) if "jackknife" in source else \
            scipy_stats.norm.ppf(level)
        return LambdaEstimate(0.0, 0.0, math.sqrt(one_sided * error), lambda_squared, error, source, True, law,
                              model, level)
    low, high = lambda_squared - factor * error, lambda_squared + factor * error
    return LambdaEstimate(math.sqrt(lambda_squared), math.sqrt(max(low, 0.0)),
                          math.sqrt(max(high, 0.0)), lambda_squared, error, source, False, law, model, level)
