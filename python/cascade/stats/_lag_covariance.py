"""The lag covariance of log|x| (or of log w) at any lags, with jackknife errors.

C(l) is the mean of (log|x_i| - m)(log|x_(i+l)| - m) over the N - l pairs of
each series of N = n0 2^n values (pairs in two cells included: they share no
factor and add 0 on average), so its theory is theory(lam, n, n0, lags=lags)
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

The sums over the pairs come from transforms (_lag_sums): time O(N log L)
per cell distance the lags reach (all lags below the cell length L: two),
however many lags, and memory the input plus a bounded work space plus the
per-cell sums, at most TABLE_VALUES at a time (docs/performance.md measures it).

For estimates of the scaling use the philox stream: the default stream's
draws correlate log|x| by a few thousandths at lags 30 to 59 (docs/reproducibility.md).
"""
from dataclasses import dataclass

import numpy as np

from typing import Optional

from . import _jackknife, _lag_sums, _plots, _scale_arguments
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._errors import UncheckableSeries, refuse_constant_magnitude
from ._laws import NAMES, Law
from ._models import checked_model
from ._theory import theory
from ._docstrings import shared

# The most per-cell sums held at once (64 MiB): more lags than fit go by in groups.
TABLE_VALUES = 1 << 23


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
    lam: Optional[float]
    """The lambda given (None: none)."""
    law: Law
    model: str
    level: float

    def plot(self, ax=None, **style):
        """C(l) against ln l with its intervals, and the exact theory where lam was given; `style`
        goes to the estimates' errorbar. Returns the matplotlib Axes (a new figure's when ax is None)."""
        return _plots.lag_covariance(self, ax, style)


def _covariances(totals, lags, mean):
    """C(l) (..., lags) from summed cell sums (..., columns), about `mean` (None: the sample mean)."""
    centre = totals[..., 1] / totals[..., 0] if mean is None else np.full(totals.shape[:-1], float(mean))
    per_lag = totals[..., 2:].reshape(*totals.shape[:-1], len(lags), _lag_sums.COLUMNS_PER_LAG)
    pairs, a, b, ab = (per_lag[..., j] for j in range(_lag_sums.COLUMNS_PER_LAG))
    centre = centre[..., None]
    return (ab - centre * (a + b)) / pairs + centre * centre


@call_shape(old_order=("x", "lags", "step_number", "n0"))
@shared
def lag_covariance(x, step_number, n0, lags, *, lam=None, intermittency=None, law="lognormal", model="dyadic",
                   weights=None, realizations=1, level=0.95):
    """Cov(log|x_i|, log|x_(i+l)|) at each lag l, over the N - l pairs of each series.

    With `weights` (an array shaped as x) the same of log w. Values (weights) that
    are exactly 0 have no log: their pairs are left out. The errors are a
    delete-one-cell jackknife over the independent cells (n0 times realizations),
    so one cell alone is refused. About the sample mean (no lambda given) the
    estimate sits below theory by about the variance of that mean (about 0.010
    at 1 x 2^16, lambda 0.4; see the module's docstring).

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
    <<n0>>
    lags : array_like of int
        The lags, whole numbers from 1 to N - 1.
    <<lam>>
        Given, the covariance is taken about the true mean of the logs, and the
        theory of every law is given too.
    <<intermittency>>
    <<law>>
    <<model>>
    weights : array_like of float or None, default None
        The cascade's weights w of x (``generate(..., weights=True)``): the
        covariance of log w instead of log|x|.
    <<realizations>>
    <<level>>

    Returns
    -------
    LagCovariance
        ``lags``, ``estimate``, ``standard_error``, ``low`` and ``high`` (the
        `level` interval, Student's t over cells - 1 degrees of freedom),
        ``theory`` (the law's C(l) at lam; nan without it), ``theories`` ({law:
        C(l)}), ``about`` ("the true mean" or "the sample mean"), ``of`` ("log|x|"
        or "log w"), ``cells``, ``lam``, ``law``, ``model``, ``level``;
        ``.plot(ax=None, **style)`` draws C(l) against ln l.

    Raises
    ------
    <<raises>>
        Also: fewer than 8 cells, a lag out of range, bad weights.
    UncheckableSeries
        No pair left at some lag, or a constant |x|.

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import lag_covariance
    >>> x = cascade.generate(0.4, 10, 64, seed=7, generator="philox")
    >>> c = lag_covariance(x, 10, 64, [1, 16, 1024], lam=0.4)
    >>> c.theory.round(4).tolist()
    [0.128, 0.0645, 0.0]
    """
    level = _jackknife.checked_level(level)
    checked_model(model)
    lam = lam_from(lam, intermittency, step_number)
    if weights is not None:
        _scale_arguments.cells_of(x, step_number, n0, realizations)  # x is still held to the shape given
        _refuse_bad_weights(weights)
    source = x if weights is None else weights
    of = "log|x|" if weights is None else "log w"
    values, step_number, cells = _scale_arguments.cells_of(source, step_number, n0, realizations)
    n0 = int(n0)
    values = values.reshape(cells // n0, -1)
    lags = _scale_arguments.within_series(lags, values.shape[1])
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    # The logs are summed less a value near their mean, which the centre is then taken from too.
    shift = _lag_sums.typical_log(values)
    exact = {} if lam is None else {name: theory(lam, step_number, n0, lags=lags, law=name) for name in NAMES}
    mean = None
    if lam is not None:
        own = theory(lam, step_number, n0, lags=lags, law=law)
        mean = (own.mean_log_magnitude if weights is None else own.mean_log_weight) - shift
    estimate, error = np.empty(len(lags)), np.empty(len(lags))
    # Lags in order, a group at a time: a group spans few cell distances (transforms), and its
    # table of per-cell sums stays within TABLE_VALUES.
    order = np.argsort(lags, kind="stable")
    group = max(1, TABLE_VALUES // (cells * _lag_sums.COLUMNS_PER_LAG))
    for first in range(0, len(lags), group):
        taken = order[first:first + group]
        some = lags[taken]
        log_sums, pair_sums, least, largest = _lag_sums.cell_sums(values, some, n0, shift)
        refuse_constant_magnitude("lag_covariance", least, largest, of)
        per_cell = np.concatenate([log_sums, pair_sums], axis=1)
        _refuse_lags_without_error(per_cell, some)
        estimate[taken], error[taken] = _jackknife.delete_one_errors(
            per_cell, lambda sums, _units: _covariances(sums, some, mean))
    _jackknife.refuse_unformed("lag_covariance", [f"C({lag})" for lag in lags], estimate, error)
    spread = _jackknife.t_quantile(cells, level) * error
    return LagCovariance(lags, estimate, error, estimate - spread, estimate + spread,
                         np.full(len(lags), np.nan) if lam is None else own.lag_covariance,
                         {name: t.lag_covariance for name, t in exact.items()},
                         "the sample mean" if lam is None else "the true mean", of, cells, lam, law, model, level)


def _refuse_bad_weights(weights):
    """Weights are products of positive factors: 0 only where they underflow, never below or infinite."""
    weights = np.asarray(weights, dtype=np.float64)
    bad = np.flatnonzero(~(np.isfinite(weights) & (weights >= 0)))
    if bad.size:
        raise ValueError(f"weights must be finite and positive (0 only where they underflow), got "
                         f"{weights.flat[bad[0]]!r} at index {bad[0]} ({bad.size} such in all)")


def _refuse_lags_without_error(per_cell, lags):
    """A lag whose pairs all start in one cell leaves none once that cell is left out: no error."""
    starting = (per_cell[:, 2::_lag_sums.COLUMNS_PER_LAG] > 0).sum(axis=0)
    for lag, cells in zip(lags, starting):
        if cells == 0:
            raise UncheckableSeries(f"lag_covariance: no pair of values above 0 is left at lag {lag}")
        if cells == 1:
            raise UncheckableSeries(f"lag_covariance: at lag {lag} every pair of values above 0 starts in one "
                                    f"cell, so the jackknife, leaving it out, has none left and C({lag}) no error: "
                                    f"give smaller lags or more realizations")
