"""What theory predicts for the values x = w * g of a multiplicative cascade.

With n doubling steps and sigma^2 = lambda^2 / n, log w is the sum of n
independent factors log W, each of variance sigma^2 and with E[W^2] = 1, and
g is an independent standard normal. For the log-normal factors of the
program, log W ~ N(-sigma^2, sigma^2), so log w ~ N(-lambda^2, lambda^2); the
other laws of _laws share that variance and E[W^2] but not the higher
cumulants. Two values that share the factors of k generations have
Cov(log|x_i|, log|x_j|) = k sigma^2 (less sigma^2 for microcanonical pairs,
whose siblings' factors are tied; see lag_covariance).
"""
import math
from dataclasses import dataclass

import numpy as np
from scipy import special

from ._arguments import run_arguments
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._laws import Law, parse_law
from ._models import checked_model
from ._docstrings import shared

EULER_GAMMA = 0.57721566490153286061

# log|g| for a standard normal g: mean -(gamma + ln 2)/2, variance pi^2/8.
LOG_ABS_NORMAL_MEAN = -(EULER_GAMMA + math.log(2.0)) / 2.0
LOG_ABS_NORMAL_VARIANCE = math.pi ** 2 / 8.0


def step_variance(lam, steps):
    return lam * lam / steps


def mean_square():
    """E[x^2] = E[w^2] E[g^2] = exp(-2 lambda^2 + 2 lambda^2) * 1."""
    return 1.0


def mean_log_magnitude(lam, steps=1, law="lognormal"):
    """E[log|x|] = n kappa1 + E[log|g|]; for the log-normal law n kappa1 = -lam^2 whatever n."""
    law = parse_law(law)
    if law.name == "lognormal":
        return -lam * lam + LOG_ABS_NORMAL_MEAN
    return steps * law.log_cumulants(step_variance(lam, steps))[0] + LOG_ABS_NORMAL_MEAN


def variance_log_magnitude(lam):
    return lam * lam + LOG_ABS_NORMAL_VARIANCE


def lag_covariance(lam, steps, count, lag, law="lognormal"):
    """Covariance of log|x| (and of log w) at `lag`, averaged over the
    count - lag pairs of a series of `count` values about the true mean.

    Steps m = 0 .. steps-1 (counted from the bottom) make the blocks of 2^m
    values; each cell of 2^steps values is one block of the top. A pair shares
    the factor of step m, of variance sigma^2, when both lie in one block of
    2^m: a fraction f(m) = max(0, 1 - lag/2^m) of the pairs, counting all N
    starting points, does (a block of B values holds B - lag pairs at that lag).

    Under the microcanonical law the two children of one parent have
    Cov(log W_left, log W_right) = -sigma^2, every other pair of factors being
    independent. Two distinct values of one cell lie in sibling blocks (the two
    halves of one block of 2^(m+1)) at exactly one m, the step that split them
    below their deepest common ancestor, and so gain -sigma^2 once. The pairs in
    sibling blocks of 2^m are those in one block of 2^(m+1) less those in one
    block of 2^m, f(m+1) - f(m); summed over m = 0 .. steps-1 that telescopes
    to f(steps) - f(0) = max(0, 1 - lag/2^steps) (f(0) = 0 at lag >= 1): the
    pairs that lie in one cell. So, with rho the correlation of the logs of
    siblings' factors (-1 for microcanonical, 0 for the other laws),

        C(lag) = sigma^2 N/(N - lag) [sum_(m=0..steps-1) max(0, 1 - lag/2^m) + rho max(0, 1 - lag/2^steps)].
    """
    shared_steps = sum(max(0.0, 1.0 - lag / 2.0 ** m) for m in range(steps))
    shared_steps += parse_law(law).sibling_log_correlation * max(0.0, 1.0 - lag / 2.0 ** steps)
    return step_variance(lam, steps) * count / (count - lag) * shared_steps


def absolute_normal_moment(q):
    """E[|g|^q] = 2^(q/2) Gamma((q+1)/2) / sqrt(pi) for a standard normal g; infinite for q <= -1."""
    q = np.asarray(q, dtype=float)
    with np.errstate(invalid="ignore"):
        finite = np.exp(q * math.log(2.0) / 2.0 + special.gammaln((q + 1.0) / 2.0) - math.log(math.pi) / 2.0)
    return np.where(q > -1.0, finite, np.inf)


def _number_or_array(result):
    result = np.asarray(result, dtype=float) + 0.0  # no -0.0 where a moment's log is 0
    return float(result) if result.ndim == 0 else result


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
    law: Law
    model: str
    kappa1: float
    """The cumulants kappa1 .. kappa4 of one step's log W (kappa2 = step_variance for every law)."""
    kappa2: float
    kappa3: float
    kappa4: float
    tie: float
    """Cov(log W_left, log W_right) of two siblings' factors: -sigma^2 for microcanonical, 0 for the others."""

    def moment_of_factor(self, q):
        """E[W^q] of one step's factor (q a number or an array)."""
        return _number_or_array(np.exp(self.law.log_moment(q, self.step_variance)))

    def moment_of_weight(self, q):
        """E[w^q] = E[W^q]^n of a final weight: the n factors on its path are independent
        (each from a different step, and so from a different parent, microcanonical too)."""
        return _number_or_array(np.exp(self.step_number * self.law.log_moment(q, self.step_variance)))

    def moment_of_magnitude(self, q):
        """E[|x|^q] = E[w^q] E[|g|^q]; infinite for q <= -1, where E[|g|^q] is."""
        return _number_or_array(self.moment_of_weight(q) * absolute_normal_moment(q))

    def zeta(self, q):
        """zeta(q) = -log2 E[W^q], so that a dyadic block k steps down (the product of
        the k factors above it) has E[W_k^q] = (2^-k)^zeta(q). Its expansion in the
        log-cumulants is zeta(q) = -(kappa1 q + kappa2 q^2/2 + kappa3 q^3/6 + ...)/ln 2
        = c1 q + c2 q^2/2 + ..., exactly c1 q + c2 q^2/2 for lognormal."""
        return _number_or_array(-self.law.log_moment(q, self.step_variance) / math.log(2.0))

    def tau(self, q):
        """tau(q) = q - 1 - log2 E[(W^2)^q] = q - 1 + zeta(2q), the canonical mass
        exponent of the measure of the squared weights: for the boxes of whole cells
        at step k, mu_k(box) = 2^-k W_k^2 (the box's share of the expected energy
        of its initial cell, the steps below averaged out), sum_boxes E[mu_k^q] =
        (2^-k)^tau(q) exactly, for every k. tau(1) = 0 and tau(0) = -1.

        Left out: the fluctuation of the steps below k inside a box (its actual
        energy is mu_k(box) Z, Z independent of mu_k with E[Z] = 1, and E[Z^q] a
        factor that depends on the n - k steps left, except for microcanonical,
        whose energies are conserved, Z = 1) and the Gaussian modulation g^2."""
        q = np.asarray(q, dtype=float)
        return _number_or_array(q - 1.0 - self.law.log_moment(2.0 * q, self.step_variance) / math.log(2.0))


@call_shape()
@shared
def theory(lam, step_number, n0, *, intermittency=None, lags=None, law="lognormal", model="dyadic"):
    """The exact theory of the series of (lam, step_number, n0), x = w g, under `law`.

    It takes no data, so lambda comes first. With n = step_number, N = n0 2^n
    values, sigma^2 = lam^2 / n, and kappa1 .. kappa4 the cumulants of one step's
    log W (every law: kappa2 = sigma^2, E[W^2] = 1).

    Parameters
    ----------
    lam : float or None
        The lambda (None with `intermittency`).
    <<step_number>>
    <<n0>>
    <<intermittency>>
    lags : array_like of int or None, default None
        The lags of ``lag_covariance``: whole numbers from 1 to N - 1; None: 1, 2,
        4, ... 2^n, those below N.
    <<law>>
    <<model>>

    Returns
    -------
    Theory
        law                     the Law
        kappa1 .. kappa4        the cumulants of one step's log W; lognormal: -sigma^2, sigma^2, 0, 0
        tie                     Cov(log W_left, log W_right) of siblings: -sigma^2 microcanonical, else 0
        mean_square             E[x^2] = 1 (E[W^2] = 1 for each factor)
        mean_log_magnitude      E[log|x|] = n kappa1 - (gamma + ln 2)/2 (gamma: Euler's constant);
                                lognormal: -lam^2 - (gamma + ln 2)/2
        variance_log_magnitude  Var log|x| = lam^2 + pi^2/8
        lag_covariance          at each of `lags`, Cov(log|x_i|, log|x_(i+l)|) averaged over the
                                N - l pairs of the series: sigma^2 N/(N - l) sum_(m=0..n-1) max(0, 1 - l/2^m)
                                (a pair shares the factor of each step whose blocks of 2^m values hold both);
                                microcanonical adds -sigma^2 N/(N - l) max(0, 1 - l/2^n), the pairs within
                                one cell, each split once into sibling blocks (derived in lag_covariance)
        mean_log_weight         E[log w] = n kappa1; lognormal: -lam^2
        variance_log_weight     Var log w = n kappa2 = lam^2
        log_weight_lag_covariance  the same as lag_covariance: g is independent of w and of itself at l > 0
        c1, c2, zeta(q)         the weight of a dyadic block of relative size s = 2^-k (the product of the
                                k factors above it) has E[W_k^q] = s^zeta(q), zeta(q) = -log2 E[W^q]
                                = c1 q + c2 q^2/2 - (kappa3 q^3/6 + kappa4 q^4/24 + ...)/ln 2,
                                c1 = -kappa1/ln 2, c2 = -kappa2/ln 2 = -sigma^2/ln 2; lognormal: c1 = sigma^2/ln 2
                                and higher log-cumulants 0; zeta(2) = 0 for every law
        tau(q)                  q - 1 + zeta(2q): the canonical mass exponent of the squared weights' boxes
        moment_of_factor(q), moment_of_weight(q), moment_of_magnitude(q)
                                E[W^q], E[w^q] = E[W^q]^n, E[|x|^q] = E[w^q] 2^(q/2) Gamma((q+1)/2)/sqrt(pi)
        and lam, step_number, n0, count (N), step_variance (sigma^2), lags, model.

    Raises
    ------
    <<raises>>
        Also: a lag out of range.

    Examples
    --------
    >>> from cascade.stats import theory
    >>> t = theory(1.5, 10, 64, law="microcanonical")
    >>> round(t.tie, 4), round(t.kappa4, 4)
    (-0.225, -0.1013)
    """
    law = parse_law(law)
    model = checked_model(model)
    lam = lam_from(lam, intermittency, step_number)
    lam, step_number, n0 = run_arguments(lam, step_number, n0)
    count = int(n0) << int(step_number)
    if lags is None:
        lags = [1 << p for p in range(step_number + 1) if (1 << p) < count]
    lags = np.asarray(lags)
    if lags.ndim != 1 or not np.issubdtype(lags.dtype, np.integer) or (lags < 1).any() or (lags >= count).any():
        raise ValueError(f"lags must be whole numbers from 1 to N - 1 = {count - 1}, got {lags.tolist()!r}")
    sigma2 = step_variance(lam, step_number)
    kappas = tuple(float(kappa) for kappa in law.log_cumulants(sigma2))
    mean_log_weight = step_number * kappas[0]
    covariance = np.array([lag_covariance(lam, step_number, count, int(lag), law) for lag in lags])
    return Theory(lam, int(step_number), int(n0), count, sigma2, mean_square(), mean_log_weight + LOG_ABS_NORMAL_MEAN,
                  variance_log_magnitude(lam), lags.copy(), covariance, mean_log_weight, lam * lam,
                  covariance.copy(), -kappas[0] / math.log(2.0), -kappas[1] / math.log(2.0), law, model, *kappas,
                  law.sibling_log_correlation * sigma2)
