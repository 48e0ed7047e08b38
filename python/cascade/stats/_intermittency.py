"""lambda and the intermittency coefficient, both ways.

lambda^2 is the variance of log w summed over all step_number doubling steps:
sigma^2 = lambda^2 / n per doubling. Papers quote it per unit of ln-scale
instead: a box of l = 2^m values (m steps below the top of its cell of
L = 2^n values, the integral scale) carries the factors of the n - m steps
above it, so Var log w_l = (n - m) sigma^2 = (sigma^2 / ln 2) ln(L / l). The
coefficient of ln(L / l) is the intermittency coefficient

    intermittency = sigma^2 / ln 2 = lambda^2 / (n ln 2) = -c2,

c2 the curvature of the scaling exponents zeta(q) = c1 q + c2 q^2 / 2 + ...
(theory().c2), the same for every multiplier law (each keeps Var log W = sigma^2).
"""
import math
import numbers

from ._arguments import run_arguments
from ._docstrings import shared

# The stream with the most steps: a conversion holds for every run either stream can make.
WIDEST_STREAM = "philox"


@shared
def intermittency_of(lam, step_number):
    """The intermittency coefficient lambda^2 / (step_number ln 2) of the cascade of (lam, step_number).

    The fall of Var log w per unit of ln-scale, -c2 of the scaling exponents.

    Parameters
    ----------
    lam : float
        The lambda.
    <<step_number>>

    Returns
    -------
    float
        lam^2 / (step_number ln 2).

    Raises
    ------
    TypeError, ValueError
        What cascade.generate refuses for lam and step_number.

    Examples
    --------
    >>> from cascade.stats import intermittency_of
    >>> round(intermittency_of(0.4, 16), 5)
    0.01443
    """
    lam, step_number, _ = run_arguments(lam, step_number, 1, WIDEST_STREAM)
    return lam * lam / (step_number * math.log(2.0))


@shared
def lambda_for(intermittency, step_number):
    """The lambda (>= 0) whose cascade of step_number steps has this intermittency coefficient.

    Parameters
    ----------
    intermittency : float
        The coefficient, finite and at least 0.
    <<step_number>>

    Returns
    -------
    float
        sqrt(intermittency step_number ln 2).

    Raises
    ------
    TypeError
        An intermittency that is not a real number (a bool neither).
    ValueError
        One that is negative or not finite, or a lambda or step_number that
        cascade.generate refuses.

    Examples
    --------
    >>> from cascade.stats import lambda_for
    >>> round(lambda_for(0.02, 16), 3)
    0.471
    """
    if isinstance(intermittency, bool) or not isinstance(intermittency, numbers.Real):
        raise TypeError(f"intermittency must be a real number, got {type(intermittency).__name__}")
    intermittency = float(intermittency)
    if not math.isfinite(intermittency) or intermittency < 0:
        raise ValueError(f"intermittency must be a finite number of at least 0, got {intermittency!r}")
    _, step_number, _ = run_arguments(0.0, step_number, 1, WIDEST_STREAM)
    lam = math.sqrt(intermittency * step_number * math.log(2.0))
    run_arguments(lam, step_number, 1, WIDEST_STREAM)
    return lam


def lam_from(lam, intermittency, step_number):
    """The lambda that `lam` or `intermittency` (lambda_for(intermittency, step_number)) names,
    None when neither is given; both given: ValueError."""
    if intermittency is None:
        return lam
    if lam is not None:
        raise ValueError(f"give lam or intermittency, not both: got lam={lam!r} and intermittency={intermittency!r}")
    return lambda_for(intermittency, step_number)
