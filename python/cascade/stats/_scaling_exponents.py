"""Scaling exponents zeta(q): the slope of log S_q(l) against log l over a range of scales.

Theory (lam and the law given), as scales grow far below the cell:
    walk  zeta(q) = q/2 + zeta_W(q), zeta_W(q) = -log2 E[W^q] (theory().zeta): an
          increment over l = 2^m aligned values is g times the root of their energy,
          and that energy is the product of the n - m factors above them, whose q/2-th
          moment of the square is E[W^q]^(n - m) = (l / L)^zeta_W(q), times the energy
          below them, of order l. Exact at q = 2 (S_2 = l: zeta = 1); at other q the
          energy below carries a factor that still changes with m, and the fit over
          finite scales sits off the limit (measured in docs/statistics.md).
    x, abs  0: the two values of a pair share the factors above their split, which
          cancel out of the pair's law as the lag grows; exact for x at q = 2 (S_2 = 2).
The error is a delete-one-cell jackknife of the fitted slope. Use the philox
stream for estimates of the scaling (the default stream's draws correlate
log|x| and x^2 at lags 30 to 59).
"""
from dataclasses import dataclass

import numpy as np

from . import _jackknife, _scale_arguments, _structure_functions
from ._laws import NAMES
from ._theory import theory


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class ScalingExponents(_structure_functions.ScaleEstimates):
    """estimate: zeta(q) per order; theory: zeta(q) of the law at lam as scales grow (nan without lam)."""
    exact: np.ndarray
    """Whether theory is the fitted slope's exact value at every scale (walk and x at q = 2)."""
    theories: dict
    """{law: zeta(q)} of every law at lam (empty without lam)."""


def slopes(functions, scales):
    """Least-squares slopes of log S against log l: (..., q) from (..., q, scales)."""
    logs = np.log(scales.astype(float))
    centred = logs - logs.mean()
    return (np.log(functions) * centred).sum(axis=-1) / (centred @ centred)


def limit_exponents(lam, step_number, q, of, law):
    if of != "walk":
        return np.zeros(len(q))
    return q / 2.0 + np.atleast_1d(theory(lam, step_number, 1, law=law).zeta(q))


def scaling_exponents(x, q, scales, step_number, n0, *, of="walk", lam=None, law="lognormal", realizations=1,
                      level=0.95):
    """zeta(q) of the walk, x or |x| (`of`): the least-squares slope of log S_q(l) against
    log l over `scales` (at least two, 1 .. 2^step_number - 1), for each order q > 0, from
    one series or `realizations` (a (K, N) array), with a delete-one-cell jackknife error
    and `level` interval; the theory of `law` (and of every law) at lam beside it. See the
    module's docstring for what the theory is and where it is exact."""
    _structure_functions.check_signal(of)
    cells_values, step_number, cells = _scale_arguments.cells_of(x, step_number, n0, realizations)
    q = _scale_arguments.orders(q)
    scales = _scale_arguments.within_cell(scales, "scales", step_number)
    if len(np.unique(scales)) < 2:
        raise ValueError(f"scales must hold at least two different scales, got {scales.tolist()!r}")
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    per_cell = _structure_functions.cell_sums(cells_values, q, scales, of)
    with np.errstate(divide="ignore", invalid="ignore"):
        estimate, _, error = _jackknife.delete_one(
            per_cell, lambda totals, _units: slopes(_structure_functions.from_totals(totals, len(q), len(scales)),
                                                    scales))
    if not (np.isfinite(estimate).all() and np.isfinite(error).all()):
        raise ValueError("some structure function is 0 at some scale: its log, and so the exponent, cannot be taken")
    spread = _jackknife.t_quantile(cells, level) * error
    exact = (q == 2.0) & (of in ("walk", "x"))
    own = np.full(len(q), np.nan) if lam is None else limit_exponents(lam, step_number, q, of, law)
    theories = {} if lam is None else {name: limit_exponents(lam, step_number, q, of, name) for name in NAMES}
    return ScalingExponents(q, scales, estimate, error, estimate - spread, estimate + spread, own, of, cells, exact,
                            theories)
