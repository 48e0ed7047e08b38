"""Structure functions S_q(l) = mean |s(t + l) - s(t)|^q of the walk, of x and of |x|.

s is one of: the cumulated walk Y(t) = x_1 + ... + x_t of each cell ("walk":
an increment is the sum of l consecutive values), the series x itself ("x")
or its magnitude |x| ("abs"). Increments are taken within each cell, at every
start t, so cells stay independent and the error is a delete-one-cell
jackknife.

Exact theory, at q = 2 (every law; E[w^2] = 1 and g independent of w):
    walk  E[(Y(t + l) - Y(t))^2] = l
    x     E[(x_(t+l) - x_t)^2] = 2
    abs   E[(|x_(t+l)| - |x_t|)^2] = 2 - (4/pi) E[w_t w_(t+l)], averaged over the
          pairs at lag l of a cell: a pair whose deepest common ancestor lies k
          steps down shares k factors (E[W^2] = 1 each) and has n - k of its own
          on each side, E[W]^(2(n - k)); microcanonical siblings' split gives
          E[W_left W_right] = e^(2c) in place of E[W]^2.
Other q have no closed form here (the law of a sum of log-normal products);
their scaling is in scaling_exponents. Use the philox stream for estimates of
the scaling: the default stream's draws correlate log|x| and x^2 at lags 30 to 59.
"""
import math
from dataclasses import dataclass

import numpy as np

from . import _jackknife, _scale_arguments
from ._theory import theory

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


@dataclass(frozen=True, eq=False)
class StructureFunctions(ScaleEstimates):
    """estimate: (len(q), len(scales)) S_q(l); theory: the exact S_q(l) of the law at lam
    where known (q = 2), nan elsewhere or without lam."""


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


def from_totals(totals, q_count, scale_count):
    """S_q(l) (..., q, scales) from summed cell sums (..., columns)."""
    powers = totals[..., :q_count * scale_count].reshape(*totals.shape[:-1], q_count, scale_count)
    return powers / totals[..., None, q_count * scale_count:]


def check_signal(of):
    if of not in SIGNALS:
        raise ValueError(f"of must be one of {', '.join(map(repr, SIGNALS))}, got {of!r}")


def mean_weight_product(lam, step_number, lag, law):
    """E[w_t w_(t+lag)] averaged over the 2^n - lag pairs at that lag within a cell."""
    exact = theory(lam, step_number, 1, law=law)
    mean_factor = exact.moment_of_factor(1.0)
    positions = np.arange((1 << step_number) - lag)
    # Steps shared: those above the highest bit in which the two positions differ.
    split = np.floor(np.log2(positions ^ (positions + lag))).astype(int)
    shared = step_number - 1 - split
    own = step_number - shared
    if exact.law.sibling_log_correlation == 0:
        products = mean_factor ** (2.0 * own)
    else:
        offset = exact.log_cumulants[0]  # c: the tied siblings' factors multiply to e^(2c)
        products = math.exp(2.0 * offset) * mean_factor ** (2.0 * (own - 1))
    return float(products.mean())


def exact_second_order(lam, step_number, scales, of, law):
    """S_2(l) at each scale, exactly."""
    if of == "walk":
        return scales.astype(float)
    if of == "x":
        return np.full(len(scales), 2.0)
    return np.array([2.0 - 4.0 / math.pi * mean_weight_product(lam, step_number, int(scale), law)
                     for scale in scales])


def structure_functions(x, q, scales, step_number, n0, *, of="walk", lam=None, law="lognormal", realizations=1,
                        level=0.95):
    """S_q(l) = mean |s(t + l) - s(t)|^q within each cell, s the walk, x or |x| (`of`), for
    each order q > 0 and scale l (1 .. 2^step_number - 1), from one series or `realizations`
    (a (K, N) array), with delete-one-cell jackknife errors and `level` intervals; the exact
    theory of `law` at lam beside it where there is one (q = 2; see the module's docstring)."""
    check_signal(of)
    cells_values, step_number, cells = _scale_arguments.cells_of(x, step_number, n0, realizations)
    q = _scale_arguments.orders(q)
    scales = _scale_arguments.within_cell(scales, "scales", step_number)
    law, lam = _scale_arguments.law_and_lambda(lam, law, step_number)
    per_cell = cell_sums(cells_values, q, scales, of)
    estimate, _, error = _jackknife.delete_one(per_cell, lambda totals, _units: from_totals(totals, len(q),
                                                                                            len(scales)))
    exact = np.full((len(q), len(scales)), np.nan)
    if lam is not None:
        exact[q == 2.0] = exact_second_order(lam, step_number, scales, of, law)
    spread = _jackknife.t_quantile(cells, level) * error
    return StructureFunctions(q, scales, estimate, error, estimate - spread, estimate + spread, exact, of, cells)
