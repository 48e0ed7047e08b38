"""The lag covariance of log|x| (or of log w) at any lags, with jackknife errors.

Pairs are taken within each cell (values of different cells share no factor
and add nothing but noise), so for cells of L = 2^n values the theory is
theory(lam, n, 1).lag_covariance: sigma^2 L/(L - l) sum_m max(0, 1 - l/2^m),
less the microcanonical siblings' tie. About the true mean E[log|x|] (known
once lambda and the law are) the estimate is unbiased. About the sample mean
(lambda unknown) it sits below theory by about the variance of that mean,
which the shared first steps make large: at 1 x 2^16, lambda 0.4 about 0.010,
a tenth of C(1). Give lam to take it about the true mean.

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


def _cell_sums(logs, usable, lags):
    """(cells, 2 + 4 per lag): per cell, the count and sum of the usable logs, then per lag the
    count of pairs with both usable and the sums of a, b and a b."""
    columns = [usable.sum(axis=1), np.where(usable, logs, 0.0).sum(axis=1)]
    for lag in lags:
        both = usable[:, :-lag] & usable[:, lag:]
        a = np.where(both, logs[:, :-lag], 0.0)
        b = np.where(both, logs[:, lag:], 0.0)
        columns += [both.sum(axis=1), a.sum(axis=1), b.sum(axis=1), (a * b).sum(axis=1)]
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
    """Cov(log|x_i|, log|x_(i+l)|) at each lag l (1 .. 2^step_number - 1), averaged over the
    pairs within each cell of x, one series or `realizations` of them (a (K, N) array), with
    delete-one-cell jackknife standard errors and `level` intervals. With weights (an array
    shaped as x), the same of log w. Values (weights) that are exactly 0 have no log: their
    pairs are left out.

    lam: the lambda of the series: the covariance is then taken about the true mean of the
    logs (law's theory) and the theory of `law` and of every law is given beside it; None:
    about the sample mean, and no theory (see the module's docstring for the difference).
    Use the philox stream for estimates of the scaling."""
    _, step_number, _ = _scale_arguments.cells_of(x, step_number, n0, realizations)
    source = x if weights is None else weights
    values, step_number, cells = _scale_arguments.cells_of(source, step_number, n0, realizations)
    lags = _scale_arguments.within_cell(lags, "lags", step_number)
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    usable = values != 0
    with np.errstate(divide="ignore"):
        logs = np.log(np.abs(values))
    per_cell = _cell_sums(np.where(usable, logs, 0.0), usable, lags)
    if (per_cell[:, 2::4].sum(axis=0) == 0).any():
        raise ValueError("some lag has no pair of values above 0 left")
    exact = {} if lam is None else {name: theory(lam, step_number, 1, lags, law=name) for name in NAMES}
    mean = None
    if lam is not None:
        own = theory(lam, step_number, 1, lags, law=law)
        mean = own.mean_log_magnitude if weights is None else own.mean_log_weight
    estimate, _, error = _jackknife.delete_one(per_cell, lambda totals, _units: _covariances(totals, lags, mean))
    spread = _jackknife.t_quantile(cells, level) * error
    return LagCovariance(lags, estimate, error, estimate - spread, estimate + spread,
                         np.full(len(lags), np.nan) if lam is None else own.lag_covariance,
                         {name: t.lag_covariance for name, t in exact.items()},
                         "the sample mean" if lam is None else "the true mean",
                         "log|x|" if weights is None else "log w", cells)
