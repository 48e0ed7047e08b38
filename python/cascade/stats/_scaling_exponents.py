"""Scaling exponents zeta(q): the slope of log S_q(l) against log l over a range of scales.

Theory (lam and the law given), two kinds:

theory, the limit as the scales and the steps below them grow:
    walk  zeta(q) = q/2 + zeta_W(q), zeta_W(q) = -log2 E[W^q] (theory().zeta): an
          increment over l = 2^m aligned values is g times the root of their energy,
          and that energy is the product of the squares of the n - m factors above
          them (whose q/2-th moment is E[W^q]^(n - m) = (l / L)^zeta_W(q)) times the
          energy below them, l times a random variable whose law settles as m grows.
    x, abs  0: a pair split k steps up is w_i = A B_i, w_j = A B_j with A the n - k
          shared factors; E[A^q] = E[W^q]^(n - k) grows with l as fast as the pair's
          own factors' E[B^q] ~ E[W^q]^k falls, and the two cancel, leaving terms of
          the pair's tie that fall off as l grows (for x at q = 4, 6 E[W^4]^(n - k)
          beside 6 E[W^4]^n).
finite_size, the slope of log of the exact S_q(l) (_structure_theory) over the
    very scales given, where S_q is exact (walk: q = 2 and 4; x and |x|: even q),
    nan elsewhere. It is what the fitted exponent tends to as the cells grow in
    number. Exact and equal to the limit: the walk at q = 2 (S_2 = l: 1) and x at
    q = 2 (S_2 = 2: 0). Elsewhere the two differ: the fit over finite scales
    carries a bias against the limit (the energy below a window still changes
    with its length, and windows not aligned with the blocks mix two subtrees);
    docs/statistics.md ("Estimators of the scaling") measures it.

The error is a delete-one-cell jackknife of the fitted slope; one cell alone is
refused (its values share the top factors). Use the philox stream for estimates
of the scaling (the default stream's draws correlate log|x| and x^2 at lags 30
to 59, docs/reproducibility.md).
"""
from dataclasses import dataclass

import numpy as np

from . import _jackknife, _plots, _scale_arguments, _structure_functions, _structure_theory
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._errors import UncheckableSeries
from ._models import checked_model
from ._laws import NAMES
from ._theory import theory
from ._docstrings import shared


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class ScalingExponents(_structure_functions.ScaleEstimates):
    """estimate: zeta(q) per order; theory: zeta(q) of the law at lam as scales grow (nan without lam)."""
    finite_size: np.ndarray
    """The slope of the exact S_q(l) over these scales, where S_q is exact (nan elsewhere or without lam)."""
    theories: dict
    """{law: zeta(q)} of every law at lam (empty without lam)."""

    def plot(self, ax=None, **style):
        """zeta(q) against q (less q/2 for the walk) with its intervals, the limit theory and the
        exact slope at these scales; `style` goes to the estimates' errorbar. Returns the matplotlib Axes."""
        return _plots.scaling_exponents(self, ax, style)


def slopes(functions, scales):
    """Least-squares slopes of log S against log l: (..., q) from (..., q, scales)."""
    logs = np.log(scales.astype(float))
    centred = logs - logs.mean()
    return (np.log(functions) * centred).sum(axis=-1) / (centred @ centred)


def limit_exponents(lam, step_number, q, of, law):
    if of != "walk":
        return np.zeros(len(q))
    return q / 2.0 + np.atleast_1d(theory(lam, step_number, 1, law=law).zeta(q))


@call_shape(old_order=("x", "q", "scales", "step_number", "n0"))
@shared
def scaling_exponents(x, step_number, n0, q, scales, *, of="walk", lam=None, intermittency=None, law="lognormal",
                      model="dyadic", realizations=1, level=0.95):
    """zeta(q): the least-squares slope of log S_q(l) against log l over `scales`.

    For each order q > 0, of the walk, x or |x|, with a delete-one-cell jackknife
    error; the limit theory of `law` (and of every law) at lam beside it, and the
    exact slope at these very scales where S_q is exact (``finite_size``). The
    fit over finite scales carries a bias against the limit (docs/statistics.md
    measures it).

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
    <<n0>>
    q : array_like of float
        The orders, finite and above 0.
    scales : array_like of int
        At least two different scales, whole numbers from 1 to 2^step_number - 1.
    of : {"walk", "x", "abs"}, default "walk"
        The signal: the cumulated walk, x, or |x|.
    <<lam>>
    <<intermittency>>
    <<law>>
    <<model>>
    <<realizations>>
    <<level>>

    Returns
    -------
    ScalingExponents
        ``q``, ``scales``, and per q ``estimate``, ``standard_error``, ``low``,
        ``high``, ``theory`` (the limit) and ``finite_size``; ``theories`` ({law:
        zeta(q)}), ``of``, ``cells``, ``lam``, ``law``, ``model``, ``level``;
        ``.plot(ax=None, **style)`` draws zeta(q) - q/2 against q.

    Raises
    ------
    <<raises>>
        Also: fewer than 8 cells, fewer than two scales, an order out of range.
    UncheckableSeries
        An S_q of 0 (no log), sums that overflow, or an error that cannot be formed.

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import scaling_exponents
    >>> x = cascade.generate(0.4, 10, 64, seed=7, generator="philox")
    >>> z = scaling_exponents(x, 10, 64, [2.0], [4, 8, 16, 32, 64], lam=0.4)
    >>> float(z.theory[0])
    1.0
    """
    level = _jackknife.checked_level(level)
    checked_model(model)
    lam = lam_from(lam, intermittency, step_number)
    _structure_functions.check_signal(of)
    cells_values, step_number, cells = _scale_arguments.cells_of(x, step_number, n0, realizations)
    q = _scale_arguments.orders(q)
    scales = _scale_arguments.within_cell(scales, "scales", step_number)
    if len(np.unique(scales)) < 2:
        raise ValueError(f"scales must hold at least two different scales, got {scales.tolist()!r}")
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    per_cell = _structure_functions.checked_cell_sums("scaling_exponents", cells_values, q, scales, of)
    functions = _structure_functions.from_totals(per_cell.sum(axis=0), len(q), len(scales))
    if not (functions > 0).all():
        label = _structure_functions.labels(q, scales)[int(np.argmin(functions > 0))]
        raise UncheckableSeries(f"scaling_exponents: {label} is 0 (every increment at that scale is 0): its log, "
                                f"and so the exponent, cannot be taken")
    with np.errstate(divide="ignore", invalid="ignore", over="ignore"):
        estimate, error = _jackknife.delete_one_errors(
            per_cell, lambda totals, _units: slopes(_structure_functions.from_totals(totals, len(q), len(scales)),
                                                    scales))
    _jackknife.refuse_unformed("scaling_exponents", [f"zeta({order:g})" for order in q], estimate, error)
    spread = _jackknife.t_quantile(cells, level) * error
    finite_size = np.full(len(q), np.nan)
    if lam is not None:
        with np.errstate(invalid="ignore"):
            finite_size = slopes(_structure_theory.exact_table(lam, step_number, q, scales, of, law), scales)
    own = np.full(len(q), np.nan) if lam is None else limit_exponents(lam, step_number, q, of, law)
    theories = {} if lam is None else {name: limit_exponents(lam, step_number, q, of, name) for name in NAMES}
    return ScalingExponents(q, scales, estimate, error, estimate - spread, estimate + spread, own, of, cells, lam,
                            law, model, level, finite_size, theories)
