"""Structure functions S_q(l) = mean |s(t + l) - s(t)|^q of the walk, of x and of |x|.

s is one of: the cumulated walk Y(t) = x_1 + ... + x_t of each cell ("walk":
an increment is the sum of l consecutive values), the series x itself ("x")
or its magnitude |x| ("abs"). Increments are taken within each cell, at every
start t, so cells stay independent and the error is a delete-one-cell
jackknife.

Exact theory (lam and the law given), every law, in _structure_theory:
    walk  S_2(l) = l; S_4(l) = 3 E[(sum of the window's w^2)^2], a finite sum over
          the window's pairs of E[w_i^2 w_j^2], each a product over the steps
          (shared steps E[W^4], the split step E[W^2]^2 = 1 or the microcanonical
          siblings' E[W_left^2 W_right^2], the steps below 1)
    x, abs  every even whole q, by the binomial expansion of the pair's increment
          into joint moments E[w_i^a w_j^b] of the two weights; S_2 = 2 for x,
          2 - (4/pi) E[w_i w_j] for |x|
Other orders have no closed form here (the law of a sum of products of
factors): theory is nan there, and their scaling as l grows is in
scaling_exponents. Use the philox stream for estimates of the scaling: the
default stream's draws correlate log|x| and x^2 at lags 30 to 59
(docs/reproducibility.md).
"""
from dataclasses import dataclass

import numpy as np

from typing import Optional

from . import _jackknife, _plots, _scale_arguments, _structure_theory
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._errors import UncheckableSeries
from ._laws import Law
from ._models import checked_model
from ._docstrings import shared

SIGNALS = ("walk", "x", "abs")


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class ScaleEstimates:
    """What an estimator of the scaling gives: per order q (and scale), the estimate,
    its jackknife standard error, its interval [low, high] and the theory."""
    q: np.ndarray
    scales: np.ndarray
    estimate: np.ndarray
    standard_error: np.ndarray
    low: np.ndarray
    high: np.ndarray
    theory: np.ndarray
    of: str
    """The signal: "walk", "x" or "abs"."""
    cells: int
    lam: Optional[float]
    """The lambda given (None: none)."""
    law: Law
    model: str
    level: float


@dataclass(frozen=True, eq=False)
class StructureFunctions(ScaleEstimates):
    """estimate: (len(q), len(scales)) S_q(l); theory: the exact S_q(l) of the law at lam
    where known (see the module's docstring), nan elsewhere or without lam."""

    def plot(self, ax=None, **style):
        """ln S_q(l) against ln l for each q with its intervals, the fitted line and the exact
        theory where known; `style` goes to the estimates' errorbars. Returns the matplotlib Axes."""
        return _plots.structure_functions(self, ax, style)


def signal(cells, of):
    """The cells' signal whose increments are taken: (cells, L + 1) walk with Y(0) = 0, or x, or |x|."""
    if of == "walk":
        return np.concatenate([np.zeros((cells.shape[0], 1)), np.cumsum(cells, axis=1)], axis=1)
    return cells if of == "x" else np.abs(cells)


def cell_sums(cells, q, scales, of):
    """(cells, len(q) * len(scales) + len(scales)): per cell the sums of |increment|^q, q by q
    and scale by scale, then the count of increments per scale."""
    s = signal(cells, of)
    powers, counts = [], []
    for scale in scales:
        steps = np.abs(s[:, scale:] - s[:, :-scale])
        counts.append(np.full(cells.shape[0], float(steps.shape[1])))
        powers.append(np.stack([(steps ** order).sum(axis=1) for order in q], axis=-1))
    return np.concatenate([np.stack(powers, axis=-1).reshape(cells.shape[0], -1), np.stack(counts, axis=-1)], axis=1)


def checked_cell_sums(estimator, cells, q, scales, of):
    """cell_sums, refused where some sum of |increment|^q is beyond the largest double."""
    with np.errstate(over="ignore", invalid="ignore"):
        per_cell = cell_sums(cells, q, scales, of)
    overflowing = ~np.isfinite(per_cell[:, :len(q) * len(scales)]).all(axis=0)
    if overflowing.any():
        order, scale = np.divmod(int(np.argmax(overflowing)), len(scales))
        raise UncheckableSeries(f"{estimator}: S_{q[order]:g} overflows the doubles at scale {scales[scale]} "
                                f"(the values reach {np.max(np.abs(cells)):.3g})")
    return per_cell


def labels(q, scales):
    """The name of each S_q(l), in the order of from_totals' (q, scales)."""
    return [f"S_{order:g}({scale})" for order in q for scale in scales]


def from_totals(totals, q_count, scale_count):
    """S_q(l) (..., q, scales) from summed cell sums (..., columns)."""
    powers = totals[..., :q_count * scale_count].reshape(*totals.shape[:-1], q_count, scale_count)
    return powers / totals[..., None, q_count * scale_count:]


def check_signal(of):
    if of not in SIGNALS:
        raise ValueError(f"of must be one of {', '.join(map(repr, SIGNALS))}, got {of!r}")


@call_shape(old_order=("x", "q", "scales", "step_number", "n0"))
@shared
def structure_functions(x, step_number, n0, q, scales, *, of="walk", lam=None, intermittency=None, law="lognormal",
                        model="dyadic", realizations=1, level=0.95):
    """S_q(l) = mean |s(t + l) - s(t)|^q within each cell, s the walk, x or |x|.

    For each order q > 0 and scale l, over every start t within each cell, with
    delete-one-cell jackknife errors; one cell alone is refused (its values share
    the top factors). The exact theory of `law` at lam is given where there is
    one (walk: q = 2 and 4; x and |x|: every even q), nan elsewhere.

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
    <<n0>>
    q : array_like of float
        The orders, finite and above 0.
    scales : array_like of int
        The scales l, whole numbers from 1 to 2^step_number - 1.
    of : {"walk", "x", "abs"}, default "walk"
        The signal: the cumulated walk Y(t) = x_1 + ... + x_t, x, or |x|.
    <<lam>>
    <<intermittency>>
    <<law>>
    <<model>>
    <<realizations>>
    <<level>>

    Returns
    -------
    StructureFunctions
        ``q``, ``scales``, and per (q, scale) ``estimate``, ``standard_error``,
        ``low``, ``high`` and ``theory``; ``of``, ``cells``, ``lam``, ``law``,
        ``model``, ``level``; ``.plot(ax=None, **style)`` draws ln S_q against ln l.

    Raises
    ------
    <<raises>>
        Also: fewer than 8 cells, an order or scale out of range, an unknown `of`.
    UncheckableSeries
        Sums that overflow, or an error that cannot be formed.

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import structure_functions
    >>> x = cascade.generate(0.4, 10, 64, seed=7, generator="philox")
    >>> s = structure_functions(x, 10, 64, [2.0], [16], lam=0.4)
    >>> float(s.theory[0, 0])
    16.0
    """
    level = _jackknife.checked_level(level)
    checked_model(model)
    lam = lam_from(lam, intermittency, step_number)
    check_signal(of)
    cells_values, step_number, cells = _scale_arguments.cells_of(x, step_number, n0, realizations)
    q = _scale_arguments.orders(q)
    scales = _scale_arguments.within_cell(scales, "scales", step_number)
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    per_cell = checked_cell_sums("structure_functions", cells_values, q, scales, of)
    with np.errstate(over="ignore", invalid="ignore"):
        estimate, error = _jackknife.delete_one_errors(per_cell, lambda totals, _units: from_totals(totals, len(q),
                                                                                                   len(scales)))
    _jackknife.refuse_unformed("structure_functions", labels(q, scales), estimate, error)
    exact = (np.full((len(q), len(scales)), np.nan) if lam is None
             else _structure_theory.exact_table(lam, step_number, q, scales, of, law))
    spread = _jackknife.t_quantile(cells, level) * error
    return StructureFunctions(q, scales, estimate, error, estimate - spread, estimate + spread, exact, of, cells, lam,
                              law, model, level)
