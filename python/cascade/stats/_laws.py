"""The multiplier laws of one cascade step, and the parser of their names.

Every law gives each child factor W a log of variance sigma^2 and E[W^2] = 1;
they differ in the higher log-cumulants and in how siblings are tied:

    lognormal       log W = sigma z - sigma^2, z standard normal
    binomial        log W = c + sigma eps, eps = +-1 with probability 1/2, c = -ln cosh(2 sigma) / 2
    microcanonical  as binomial, but one eps per pair of siblings: +eps to the left, -eps to the right,
                    so W_left^2 + W_right^2 = 2 exactly
    logpoisson      log W = c + K ln beta, K ~ Poisson(mu), mu = sigma^2 / (ln beta)^2,
                    c = mu (1 - beta^2) / 2; beta in (0, 1), 2/3 unless given ("logpoisson:0.5")

A law object gives, for the step's variance sigma2 = sigma^2 = lambda^2 / n,
the first four cumulants of log W and ln E[W^q] (its cumulant generating
function), the correlation of the logs of two siblings' factors, and draws of
log W - kappa1 with numpy's generator (the check's reference draws its first
steps with them); it holds no sigma, so one object serves every run.
"""
import math
from dataclasses import dataclass

import numpy as np

from cascade import laws as _core_laws

# The core's table, read once: every law's name in its order, and the
# logpoisson law's beta when none is given.
_CORE = _core_laws()
NAMES = tuple(_CORE)  # every law, as parse_law reads them (logpoisson also with ":BETA")
DEFAULT_BETA = _CORE["logpoisson"]["default"]


def _log_cosh(x):
    """ln cosh x without overflow for large |x|."""
    x = np.abs(x)
    return x + np.log1p(np.exp(-2.0 * x)) - math.log(2.0)


class Law:
    """One step's multiplier law; see the module's docstring."""
    name = ""

    @property
    def text(self):
        """The name that parse_law reads back as this law."""
        return self.name

    def log_cumulants(self, sigma2):
        """(kappa1, kappa2, kappa3, kappa4) of log W; kappa2 = sigma2 for every law."""
        raise NotImplementedError

    def log_moment(self, q, sigma2):
        """ln E[W^q] for real q (a number or an array); every law here has it for every q."""
        raise NotImplementedError

    sibling_log_correlation = 0.0
    """Corr(log W_left, log W_right) of the two children of one parent; their covariance is this times sigma^2."""

    def sibling_moment(self, a, b, sigma2):
        """E[W_left^a W_right^b] of the two children of one parent: E[W^a] E[W^b] where
        siblings draw alone; a law that ties them says how."""
        return float(np.exp(self.log_moment(a, sigma2))) * float(np.exp(self.log_moment(b, sigma2)))

    def centred_log_factors(self, rng, sigma2, shape):
        """log W - kappa1 for an array of `shape` children, drawn with the numpy Generator
        `rng`; along the last axis, children 2j and 2j + 1 are siblings."""
        raise NotImplementedError

    def log_factor_distribution(self, sigma2):
        """log W as a frozen scipy.stats distribution: what the tests integrate a law's
        theory against where they do not write the law out themselves."""
        raise NotImplementedError

    def __repr__(self):
        return f"parse_law({self.text!r})"

    def __eq__(self, other):
        return isinstance(other, Law) and self.text == other.text

    def __hash__(self):
        return hash(self.text)


class LogNormal(Law):
    name = "lognormal"

    def log_cumulants(self, sigma2):
        return (-sigma2, sigma2, 0.0, 0.0)

    def log_moment(self, q, sigma2):
        q = np.asarray(q, dtype=float)
        return sigma2 * q * (q - 2.0) / 2.0

    def centred_log_factors(self, rng, sigma2, shape):
        return math.sqrt(sigma2) * rng.standard_normal(shape)


class Binomial(Law):
    name = "binomial"

    @staticmethod
    def offset(sigma2):
        """c = -ln cosh(2 sigma) / 2, so that E[W^2] = e^(2c) cosh(2 sigma) = 1."""
        return -float(_log_cosh(2.0 * math.sqrt(sigma2))) / 2.0

    def log_cumulants(self, sigma2):
        # sigma eps has the cumulants of a fair +-sigma coin: sigma^2, 0, -2 sigma^4.
        return (self.offset(sigma2), sigma2, 0.0, -2.0 * sigma2 * sigma2)

    def log_moment(self, q, sigma2):
        q = np.asarray(q, dtype=float)
        return q * self.offset(sigma2) + _log_cosh(q * math.sqrt(sigma2))

    def centred_log_factors(self, rng, sigma2, shape):
        return math.sqrt(sigma2) * (2.0 * rng.integers(0, 2, size=shape) - 1.0)


class Microcanonical(Binomial):
    """Each child's factor has the binomial law; only the siblings' tie differs."""
    name = "microcanonical"
    sibling_log_correlation = -1.0  # log W_left - c = sigma eps = -(log W_right - c)

    def sibling_moment(self, a, b, sigma2):
        # e^(a (c + sigma eps) + b (c - sigma eps)), eps = +-1 alike: e^((a + b) c) cosh((a - b) sigma).
        return math.exp((a + b) * self.offset(sigma2)) * math.cosh((a - b) * math.sqrt(sigma2))

    def centred_log_factors(self, rng, sigma2, shape):
        pairs = super().centred_log_factors(rng, sigma2, tuple(shape[:-1]) + (shape[-1] // 2,))
        return np.stack([pairs, -pairs], axis=-1).reshape(shape)


@dataclass(frozen=True, repr=False, eq=False)
class LogPoisson(Law):
    beta: float = DEFAULT_BETA
    name = "logpoisson"

    @property
    def text(self):
        return f"{self.name}:{self.beta!r}"

    def rate(self, sigma2):
        """mu = sigma^2 / (ln beta)^2, so that Var(K ln beta) = sigma^2."""
        return sigma2 / math.log(self.beta) ** 2

    def offset(self, sigma2):
        """c = mu (1 - beta^2) / 2, so that E[W^2] = e^(2c + mu (beta^2 - 1)) = 1."""
        return self.rate(sigma2) * (1.0 - self.beta ** 2) / 2.0

    def log_cumulants(self, sigma2):
        # Every cumulant of K is mu: kappa_j = mu (ln beta)^j for j >= 2.
        mu, log_beta = self.rate(sigma2), math.log(self.beta)
        return (self.offset(sigma2) + mu * log_beta, sigma2, mu * log_beta ** 3, mu * log_beta ** 4)

    def log_moment(self, q, sigma2):
        q = np.asarray(q, dtype=float)
        return q * self.offset(sigma2) + self.rate(sigma2) * np.expm1(q * math.log(self.beta))

    def centred_log_factors(self, rng, sigma2, shape):
        mu = self.rate(sigma2)
        return (rng.poisson(mu, size=shape) - mu) * math.log(self.beta)


# Each law's theory, by the name the core gives it; a law that takes a
# parameter is made with it.
_THEORIES = {theory.name: theory for theory in (LogNormal, Binomial, Microcanonical, LogPoisson)}


def parse_law(law):
    """The Law named by `law` ("lognormal", "binomial", "microcanonical", "logpoisson" or
    "logpoisson:BETA", BETA a decimal in (0, 1)), read by the program's own table (its
    ``--law``); a Law is returned as it is. A str naming none of them: ValueError with
    the program's message; anything else: TypeError."""
    if isinstance(law, Law):
        return law
    if not isinstance(law, str):
        raise TypeError(f"law must be a str, got {type(law).__name__}")
    from cascade import _native  # the package's compiled module, loaded with the package

    name, parameter = _native.parse_law(law)
    if name not in _THEORIES:
        raise ValueError(f"law {name} has no theory in cascade.stats (it knows {', '.join(_THEORIES)})")
    return _THEORIES[name](parameter) if _CORE[name]["parameter"] else _THEORIES[name]()
