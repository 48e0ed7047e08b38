"""Exact S_q(l) of one cell's increments, averaged over every start t, for even whole q.

x = w g, g independent standard normals, E[W^2] = 1 (_weight_moments gives every
joint moment of two weights).

x and |x|: an increment is a g_i - b g_j with a = w_i, b = w_j (x) or |a| - |b|
(|x|), so for even q its q-th power expands by the binomial theorem into
    E[...] = sum_r C(q, r) (-1)^r m(q - r) m(r) E[w_i^(q - r) w_j^r],
m(r) = E|g|^r for |x| and E[g^r] (0 at odd r) for x, averaged over the
2^n - l pairs at lag l. At q = 2: 2 for x, 2 - (4/pi) E[w_i w_j] for |x|.

walk: an increment over a window of l values is g times the root of the
window's energy, so E|dY|^q = E|g|^q E[(sum w^2)^(q/2)]. At q = 2 that is l;
at q = 4 it is 3 sum over ordered pairs (i, j) of the window of
E[w_i^2 w_j^2], which depends only on the split level k of the pair. A window
[t, t + l) holds P_k(t) = sum over blocks of 2^k of (its overlap with the
block)^2 ordered pairs that lie in one block of 2^k, so N_k = P_k - P_(k-1)
pairs split at level k (N_0 = l). Higher even q would need tuples of
positions: left out.
"""
import math

import numpy as np

from . import _weight_moments
from ._theory import absolute_normal_moment

WALK_ORDERS = (2.0, 4.0)


def is_even_order(order):
    return order >= 2 and order == math.floor(order) and int(order) % 2 == 0


def exact_known(order, of):
    return order in WALK_ORDERS if of == "walk" else is_even_order(order)


def level_shares(step_number, lag):
    """(step_number + 1,): the share of the 2^n - lag pairs at that lag within a cell whose split level is k."""
    positions = np.arange((1 << step_number) - lag)
    levels = _weight_moments.split_levels(positions, positions + lag)
    return np.bincount(levels, minlength=step_number + 1) / float(positions.size)


def pair_average(lam, step_number, shares, a, b, law):
    """E[w_t^a w_(t+lag)^b] averaged over the pairs at a lag, given that lag's level_shares."""
    return float(_weight_moments.by_split_level(lam, step_number, a, b, law) @ shares)


def _normal_moment(r, of):
    if of == "x" and r % 2:
        return 0.0
    return float(absolute_normal_moment(r))


def _pairs_of_values(lam, step_number, order, lag, of, law):
    q = int(order)
    shares = level_shares(step_number, lag)  # the same pairs for every term
    return sum(math.comb(q, r) * (-1) ** r * _normal_moment(q - r, of) * _normal_moment(r, of)
               * pair_average(lam, step_number, shares, q - r, r, law) for r in range(q + 1))


def mean_window_pair_counts(step_number, scale):
    """(step_number + 1,): N_k, the ordered pairs of a window [t, t + scale) of a cell whose split
    level is k, averaged over the windows t = 0 .. 2^n - scale (one level at a time: O(2^n) memory)."""
    starts = np.arange((1 << step_number) - scale + 1, dtype=np.int64)
    last = starts + scale - 1
    within = [float(scale)]  # P_0: each value with itself
    for k in range(1, step_number + 1):
        block = 1 << k
        head = (block - (starts & (block - 1))).astype(float)
        tail = ((last & (block - 1)) + 1).astype(float)
        full = np.maximum((last >> k) - (starts >> k) - 1, 0) * float(block) ** 2
        spread = np.where((starts >> k) == (last >> k), float(scale) ** 2, head ** 2 + tail ** 2 + full)
        within.append(float(spread.mean()))
    return np.diff(np.array(within), prepend=0.0)


def _walk(lam, step_number, order, scale, law):
    if order == 2.0:
        return float(scale)
    by_level = _weight_moments.by_split_level(lam, step_number, 2.0, 2.0, law)
    return 3.0 * float(mean_window_pair_counts(step_number, scale) @ by_level)


def exact_structure_function(lam, step_number, order, scale, of, law):
    """S_q(scale) of `of` exactly, or nan where no exact value is known (see the module's docstring)."""
    if not exact_known(order, of):
        return math.nan
    if of == "walk":
        return _walk(lam, step_number, order, scale, law)
    return _pairs_of_values(lam, step_number, order, scale, of, law)


def exact_table(lam, step_number, q, scales, of, law):
    """(len(q), len(scales)) of exact S_q(l), nan where unknown."""
    return np.array([[exact_structure_function(lam, step_number, float(order), int(scale), of, law)
                      for scale in scales] for order in q])
