"""Joint moments E[w_i^a w_j^b] of two final weights of one cell, by the step that split them.

Two positions i, j of a cell of 2^n values first differ in bit k - 1 (k = the
bit length of i XOR j; k = 0 for i = j): they share the n - k factors above
their deepest common ancestor, then the split step gives each a factor of its
own, then k - 1 independent factors each. Every factor has the law's marginal,
so with M(q) = E[W^q]

    E[w_i^a w_j^b] = M(a + b)^(n - k) * S(a, b) * (M(a) M(b))^(k - 1),   k >= 1
                   = M(a + b)^n,                                        k = 0,

S(a, b) = E[W_left^a W_right^b] of two siblings, as their law gives it
(Law.sibling_moment): M(a) M(b) for laws whose siblings draw alone, and for
the microcanonical law (log W_left - c = sigma eps = -(log W_right - c))
e^((a + b) c) cosh((a - b) sigma).
"""

import numpy as np

from ._theory import theory


def split_levels(first, second):
    """k = bit length of first XOR second (0 where they are equal), elementwise."""
    difference = np.bitwise_xor(np.asarray(first, dtype=np.int64), np.asarray(second, dtype=np.int64))
    levels = np.zeros(difference.shape, dtype=np.int64)
    remaining = difference.copy()
    while (remaining > 0).any():
        levels += remaining > 0
        remaining >>= 1
    return levels


def by_split_level(lam, step_number, a, b, law):
    """E[w_i^a w_j^b] for k = 0 .. step_number (index k), as a float array."""
    exact = theory(lam, step_number, 1, law=law)
    moment = exact.moment_of_factor
    split = exact.law.sibling_moment(a, b, exact.step_variance)
    k = np.arange(1, step_number + 1)
    below = moment(a + b) ** (step_number - k) * split * (moment(a) * moment(b)) ** (k - 1)
    return np.concatenate([[moment(a + b) ** step_number], below])
