"""What theory predicts for the values x = w * g of a log-normal cascade.

With n doubling steps and sigma^2 = lambda^2 / n, log w is the sum of n
independent N(-sigma^2, sigma^2) factors, so log w ~ N(-lambda^2, lambda^2),
and g is an independent standard normal. Two values that share the factors of
k generations have Cov(log|x_i|, log|x_j|) = k sigma^2.
"""
import math
from dataclasses import dataclass

import numpy as np

from ._arguments import run_arguments

EULER_GAMMA = 0.57721566490153286061

# log|g| for a standard normal g: mean -(gamma + ln 2)/2, variance pi^2/8.
LOG_ABS_NORMAL_MEAN = -(EULER_GAMMA + math.log(2.0)) / 2.0
LOG_ABS_NORMAL_VARIANCE = math.pi ** 2 / 8.0


def step_variance(lam, steps):
    return lam * lam / steps


def mean_square():
    """E[x^2] = E[w^2] E[g^2] = exp(-2 lambda^2 + 2 lambda^2) * 1."""
    return 1.0


def mean_log_magnitude(lam):
    return -lam * lam + LOG_ABS_NORMAL_MEAN


def variance_log_magnitude(lam):
    return lam * lam + LOG_ABS_NORMAL_VARIANCE


def lag_covariance(lam, steps, count, lag):
    """Covariance of log|x| at `lag`, averaged over the count - lag pairs of a
    series of `count` values about the true mean.

    A pair shares the factor of the step that made blocks of 2^m values
    (m = 0 .. steps-1) when both lie in one such block: a fraction
    max(0, 1 - lag/2^m) of the pairs in the whole series, counting all N
    starting points, does.
    """
    shared_steps = sum(max(0.0, 1.0 - lag / 2.0 ** m) for m in range(steps))
    return step_variance(lam, steps) * count / (count - lag) * shared_steps


@dataclass(frozen=True)
class Theory:
    """The exact law of a cascade's series, as numbers; see theory()."""
    lam: float
    step_number: int
    n0: int
    count: int
    step_variance: float
    mean_square: float
    mean_log_magnitude: float
    variance_log_magnitude: float
    lags: np.ndarray
    lag_covariance: np.ndarray
    mean_log_weight: float
    variance_log_weight: float
    log_weight_lag_covariance: np.ndarray
    c1: float
    c2: float

    def zeta(self, q):
        """zeta(q) = c1 q + c2 q^2 / 2 (q a number or an array)."""
        q = np.asarray(q, dtype=float)
        result = self.c1 * q + self.c2 * q * q / 2.0
        return float(result) if result.ndim == 0 else result


def theory(lam, step_number, n0, lags=None):
    """The exact theory of the series of (lam, step_number, n0), x = w g.

    With n = step_number, N = n0 2^n values and sigma^2 = lam^2 / n:
      mean_square             E[x^2] = 1 (E[W^2] = 1 for each factor W = exp(sigma z - sigma^2))
      mean_log_magnitude      E[log|x|] = -lam^2 - (gamma + ln 2)/2 (gamma: Euler's constant)
      variance_log_magnitude  Var log|x| = lam^2 + pi^2/8
      lag_covariance          at each of `lags`, Cov(log|x_i|, log|x_(i+l)|) averaged over the
                              N - l pairs of the series: sigma^2 N/(N - l) sum_(m=0..n-1) max(0, 1 - l/2^m)
                              (a pair shares the factor of each step whose blocks of 2^m values hold both)
      mean_log_weight         E[log w] = -lam^2
      variance_log_weight     Var log w = lam^2
      log_weight_lag_covariance  the same as lag_covariance: g is independent of w and of itself at l > 0
      c1, c2, zeta(q)         the weight of a dyadic block of relative size s = 2^-k (the product of the
                              k factors above it) has E[W_k^q] = s^zeta(q), zeta(q) = c1 q + c2 q^2/2,
                              c1 = sigma^2/ln 2, c2 = -sigma^2/ln 2 (higher log-cumulants 0; zeta(2) = 0)
    lags: positive whole lags (default 1, 2, 4, ... 2^n, those below N); a lag of N or more has no pair.
    Raises what cascade.generate raises for (lam, step_number, n0).
    """
    lam, step_number, n0 = run_arguments(lam, step_number, n0)
    count = int(n0) << int(step_number)
    if lags is None:
        lags = [1 << p for p in range(step_number + 1) if (1 << p) < count]
    lags = np.asarray(lags)
    if lags.ndim != 1 or not np.issubdtype(lags.dtype, np.integer) or (lags < 1).any() or (lags >= count).any():
        raise ValueError(f"lags must be whole numbers from 1 to N - 1 = {count - 1}, got {lags.tolist()!r}")
    sigma2 = step_variance(lam, step_number)
    covariance = np.array([lag_covariance(lam, step_number, count, int(lag)) for lag in lags])
    return Theory(lam, int(step_number), int(n0), count, sigma2, mean_square(), mean_log_magnitude(lam),
                  variance_log_magnitude(lam), lags.copy(), covariance, -lam * lam, lam * lam, covariance.copy(),
                  sigma2 / math.log(2.0), -sigma2 / math.log(2.0))
