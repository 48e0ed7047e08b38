"""Series that are not the program's cascade but share much with it: what the
check's power is measured against (tools/measure_power.py). Each maker takes
(lam, seed, steps, n0).

Another law of a step's factor with the same lambda is the program's own:
its binomial and log-Poisson laws (the philox stream's `--law`). The
cascades drawn here with numpy's own generator keep the program's shape (n0
cells of weight 1 doubled `steps` times, a final Gaussian) and change what
no law of the program does: the mean of a step's log factor, its variance
from step to step, or the final deviate. sigma^2 = lam^2 / steps as in the program.
"""
import math

import numpy as np

from cascade.stats import simulate


def program(shift=1.0, fewer_steps=0, law="lognormal"):
    """The program's series at shift * lam, of the presented shape, or of `fewer_steps` fewer with as many
    values; under another law, the philox stream's."""
    def make(lam, seed, steps, n0):
        return simulate.simulate(shift * lam, steps - fewer_steps, n0 << fewer_steps, seed, law)
    return make


def shuffled(lam, seed, steps, n0):
    return np.random.default_rng(seed).permutation(simulate.simulate(lam, steps, n0, seed))


def independent_log_normal(lam, seed, steps, n0):
    rng = np.random.default_rng(seed)
    count = n0 << steps
    return np.exp(-lam * lam + lam * rng.standard_normal(count)) * rng.standard_normal(count)


def cascade_of(log_factors, final=lambda rng, count: rng.standard_normal(count)):
    """A cascade whose step k (1 ... steps) draws log factors log_factors(rng, size, k, steps, lam)."""
    def make(lam, seed, steps, n0):
        rng = np.random.default_rng(seed)
        log_weights = np.zeros(n0)
        for step in range(1, steps + 1):
            log_weights = np.repeat(log_weights, 2)
            log_weights += log_factors(rng, log_weights.size, step, steps, lam)
        return np.exp(log_weights) * final(rng, log_weights.size)
    return make


def log_normal(rng, size, step, steps, lam):
    sigma2 = lam * lam / steps
    return math.sqrt(sigma2) * rng.standard_normal(size) - sigma2


def mean_one(rng, size, step, steps, lam):
    """sigma z - sigma^2 / 2: E[W] = 1 instead of the program's E[log W] = -sigma^2."""
    sigma2 = lam * lam / steps
    return math.sqrt(sigma2) * rng.standard_normal(size) - sigma2 / 2


def growing_variance(rng, size, step, steps, lam):
    """sigma_k^2 proportional to the step k, summing to lam^2 like the program's."""
    sigma2 = lam * lam * 2.0 * step / (steps * (steps + 1))
    return math.sqrt(sigma2) * rng.standard_normal(size) - sigma2


def student_final(degrees):
    """Student's t with `degrees` degrees of freedom, scaled to variance 1, as the final deviate."""
    return lambda rng, count: rng.standard_t(degrees, count) * math.sqrt((degrees - 2) / degrees)


# (name, maker)
IMPOSTORS = [
    ("correct", program()),
    ("noise as λ", program(0.0)),
    ("0.75 λ as λ", program(0.75)),
    ("1.25 λ as λ", program(1.25)),
    ("shuffled", shuffled),
    ("one step fewer", program(fewer_steps=1)),
    ("i.i.d. log-normal", independent_log_normal),
    ("binomial law, log W = c ± σ", program(law="binomial")),
    ("log-Poisson law, β = 2/3", program(law="logpoisson")),
    ("E[W] = 1: exp(σz − σ²/2)", cascade_of(mean_one)),
    ("σ² growing with the step, same λ²", cascade_of(growing_variance)),
    ("Student-t modulation, ν = 20", cascade_of(log_normal, student_final(20))),
]
