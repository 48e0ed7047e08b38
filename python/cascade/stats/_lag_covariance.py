"""The lag covariance of log|x| (or of log w) at any lags, with jackknife errors.

C(l) is the mean of (log|x_i| - m)(log|x_(i+l)| - m) over the N - l pairs of
each series of N = n0 2^n values (pairs in two cells included: they share no
factor and add 0 on average), so its theory is theory(lam, n, n0, lags)
.lag_covariance, exact for every law and every lag from 1 to N - 1.

About the true mean m = E[log|x|] (known once lambda and the law are) the
estimate is unbiased. About the sample mean (lambda unknown) it sits below
theory by about the variance of that mean, which the shared first steps make
large: for one cell the mean of log w over its values has variance sigma^2
(1/2 + 1/4 + ... + 1/2^n), almost sigma^2, so at 1 x 2^16, lambda 0.4 the
estimate about its own series' mean sits about 0.010 below theory, a tenth
of C(1). That shift is the estimator's, not an error of theory: give lam to
take C about the true mean. An ensemble's sample mean is the mean of all its
values, whose variance, and so the shift, is that of one series over K.

The error is a delete-one-cell jackknife: cells (n0 times the realizations)
are independent, and a cell left out takes its values and the pairs that
start in it. The product of a pair that ends in the next cell is, about the
true mean, uncorrelated with that cell's own sums (its first value is
independent of that cell and of mean 0), so the cells' sums stay
uncorrelated; leaving out with a cell
every pair it is in would count the pairs across two cells twice and
overstate the error at long lags (coverage 98-99% at lag 256 of 2^10). One
cell alone is refused: its values all share the top factors, so no part of it
is independent of the rest (blocks of the cell would leave out the largest
part of the variance); give realizations instead.

For estimates of the scaling use the philox stream: the default stream's
draws correlate log|x| by a few thousandths at lags 30 to 59 (docs/reproducibility.md).
"""
from dataclasses import dataclass

import numpy as np

from . import _jackknife, _scale_arguments
from ._laws import NAMES
from ._theory import theory


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LagCovariance:
    lags: np.ndarray
    estimate: np.ndarray
    standard_error: np.ndarray
    low: np.ndarray
    """The interval's ends: estimate -+ t standard errors (Student's t, cells - 1 degrees of freedom)."""
    high: np.ndarray
    theory: np.ndarray
    """The law's C(l) at lam, about the true mean (nan without lam)."""
    theories: dict
    """{law: C(l)} of every law at lam (empty without lam)."""
    about: str
    """"the true mean" (lam given) or "the sample mean"."""
    of: str
    """"log|x|" or "log w"."""
    cells: int


def _cell_sums(logs, usable, lags, n0):
    """(cells, 2 + 4 per lag): per cell the count and sum of the usable logs, then per lag, over the
    pairs whose first value lies in the cell, the count of pairs with both usable and the sums of a,
    b and a b. logs, usable: (realizations, N)."""
    rows, count = logs.shape
    cells, length = rows * n0, count // n0
    columns = [usable.reshape(cells, length).sum(axis=1), logs.reshape(cells, length).sum(axis=1)]
    for lag in lags:
        both = usable[:, :-lag] & usable[:, lag:]
        a = np.where(both, logs[:, :-lag], 0.0)
        b = np.where(both, logs[:, lag:], 0.0)
        for term in (both.astype(float), a, b, a * b):
            # The last cells of a series start fewer pairs (none at all once lag reaches past them).
            padded = np.zeros((rows, count))
            padded[:, :count - lag] = term
            columns.append(padded.reshape(cells, length).sum(axis=1))
    return np.stack(columns, axis=-1).astype(float)


def _covariances(totals, lags, mean):
    """C(l) (..., lags) from summed cell sums (..., columns), about `mean` (None: the sample mean)."""
    centre = totals[..., 1] / totals[..., 0] if mean is None else np.full(totals.shape[:-1], float(mean))
    result = []
    for k in range(len(lags)):
        pairs, a, b, ab = (totals[..., 2 + 4 * k + j] for j in range(4))
        result.append((ab - centre * (a + b)) / pairs + centre * centre)
    return np.stack(result, axis=-1)


def lag_covariance(x, lags, step_number, n0, *, lam=None, law="lognormal", weights=None, realizations=1,
                   level=0.95):
    """Cov(log|x_i|, log|x_(i+l)|) at each lag l (1 .. N - 1), averaged over the N - l pairs
    of each series of N values, one series or `realizations` of them (a (K, N) array), with
    delete-one-cell jackknife standard errors and `level` intervals. With weights (an array
    shaped as x), the same of log w. Values (weights) that are exactly 0 have no log: their
    pairs are left out.

    lam: the lambda of the series: the covariance is then taken about the true mean of the
    logs (law's theory) and the theory of `law` and of every law is given beside it; None:
    about the sample mean of all the values given, and no theory (it sits below theory by
    about the variance of that mean: about 0.010 at 1 x 2^16, lambda 0.4; see the module's
    docstring). The result's `about` says which. Use the philox stream for estimates of the
    scaling."""
    if weights is not None:
        _scale_arguments.cells_of(x, step_number, n0, realizations)  # x is still held to the shape given
    source = x if weights is None else weights
    values, step_number, cells = _scale_arguments.cells_of(source, step_number, n0, realizations)
    n0 = int(n0)
    values = values.reshape(cells // n0, -1)
    lags = _scale_arguments.within_series(lags, values.shape[1])
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    usable = values != 0
    with np.errstate(divide="ignore"):
        logs = np.log(np.abs(values))
    per_cell = _cell_sums(np.where(usable, logs, 0.0), usable, lags, n0)
    if (per_cell[:, 2::4].sum(axis=0) == 0).any():
        raise ValueError("some lag has no pair of values above 0 left")
    exact = {} if lam is None else {name: theory(lam, step_number, n0, lags, law=name) for name in NAMES}
    mean = None
    if lam is not None:
        own = theory(lam, step_number, n0, lags, law=law)
        mean = own.mean_log_magnitude if weights is None else own.mean_log_weight
    estimate, _, error = _jackknife.delete_one(per_cell, lambda sums, _units: _covariances(sums, lags, mean))
    spread = _jackknife.t_quantile(cells, level) * error
    return LagCovariance(lags, estimate, error, estimate - spread, estimate + spread,
                         np.full(len(lags), np.nan) if lam is None else own.lag_covariance,
                         {name: t.lag_covariance for name, t in exact.items()},
                         "the sample mean" if lam is None else "the true mean",
                         "log|x|" if weights is None else "log w", cells)
