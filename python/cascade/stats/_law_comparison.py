"""Which multiplier laws a series agrees with: the log-cumulant estimates against each law.

A law agrees when each of the four estimates of log_cumulants (kappa2, kappa3,
kappa4 of one step's log W and the siblings' tie Cov(log W_left, log W_right))
lies within Z_LIMIT of its standard errors of that law's value at the given
lambda. Four separate |z| < 3 rather than one chi-square: the jackknife's
covariance of the four, from a few dozen cells, is too rough to invert, and
the chi-square it gives runs large. The rate at which correct series are
refused, per law, is measured in docs/laws.md.

binomial and microcanonical share kappa1 .. kappa4; only the tie (0 against
-sigma^2) tells them apart.
"""
from dataclasses import dataclass

import numpy as np

from . import _plots
from ._arguments import run_arguments
from ._laws import NAMES, Law, parse_law
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._log_cumulants import Cumulants, LogCumulants, law_targets, log_cumulants
from ._text import number
from ._docstrings import shared

Z_LIMIT = 3.0


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LawRow:
    law: str
    theory: Cumulants
    """kappa2, kappa3, kappa4 and tie of the law at the comparison's lambda."""
    estimate: Cumulants
    standard_error: Cumulants
    z: Cumulants
    """(estimate - theory) / standard_error, per estimate."""
    agrees: bool
    """Every |z| < Z_LIMIT."""


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LawComparison:
    rows: tuple
    estimates: LogCumulants
    """The LogCumulants the rows are built on."""
    lam: float
    """The lambda of the laws' values: as given, or implied by kappa2."""
    model: str

    def __iter__(self):
        return iter(self.rows)

    @property
    def agreeing(self):
        """The names of the laws the series agrees with."""
        return [row.law for row in self.rows if row.agrees]

    def plot(self, ax=None, **style):
        """Each law's z-scores for the four estimates, and the limits -+Z_LIMIT; `style` goes to
        the laws' markers. Returns the matplotlib Axes (a new figure's when ax is None)."""
        return _plots.compare_laws(self, ax, style, Z_LIMIT)

    def table(self):
        """The estimates, each law's values and z-scores, as lines of text."""
        lines = [f"{'law':15s}" + "".join(f"{name + ' th':>11s}{'z':>8s}" for name in Cumulants._fields) + "  agrees",
                 f"{'estimate':15s}" + "".join(f" {number(v, signed=True):>10s}{'':8s}"
                                               for v in self.estimates.estimate),
                 f"{'std error':15s}" + "".join(f" {number(v):>10s}{'':8s}" for v in self.estimates.standard_error)]
        for row in self.rows:
            lines.append(f"{row.law:15s}" + "".join(f" {number(theory, signed=True):>10s} {z:+7.1f}"
                                                    for theory, z in zip(row.theory, row.z))
                         + ("  yes" if row.agrees else "  no"))
        return "\n".join(line.rstrip() for line in lines)


def _law_list(laws):
    """`laws` as a list: one law (a name or a Law) stands for itself; none at all is refused."""
    if isinstance(laws, (str, Law)):
        return [laws]
    try:
        listed = list(laws)
    except TypeError:
        raise TypeError(f"laws must be a law or a list of laws, got {type(laws).__name__} {laws!r}") from None
    if not listed:
        raise ValueError(f"laws must name at least one law, got {laws!r}")
    return listed


@call_shape()
@shared
def compare_laws(x, step_number, n0, *, lam=None, intermittency=None, laws=NAMES, model="dyadic", realizations=1):
    """Which multiplier laws a series agrees with, by its log-cumulants.

    Each law's kappa2, kappa3, kappa4 and tie at lam against the series' estimates
    (log_cumulants): z-scores, and agreement where every |z| < Z_LIMIT (3). A
    series refuses its own law in 1.8-4.2% of seeds (1000 seeds of each law at
    64 x 2^10, lambda 1.5, philox; docs/laws.md).

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
    <<n0>>
    lam : float or None, default None
        The lambda to hold each law to; None: the lambda that kappa2 implies (the
        kappa2 column's z is then 0).
    <<intermittency>>
    laws : str, Law or list of them, default every law
        The laws to compare with (one law stands for itself).
    <<model>>
    <<realizations>>

    Returns
    -------
    LawComparison
        ``rows``: one LawRow per law (``law``, ``theory``, ``estimate``,
        ``standard_error``, ``z``, each a Cumulants, and ``agrees``); ``agreeing``
        (the laws' names); ``estimates`` (the LogCumulants), ``lam``, ``model``;
        ``.table()`` as text and ``.plot(ax=None, **style)``.

    Raises
    ------
    <<raises>>
        Also: what log_cumulants refuses, and no laws.

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import compare_laws
    >>> x = cascade.generate(1.5, 10, 64, seed=1, generator="philox", law="binomial")
    >>> compare_laws(x, 10, 64, lam=1.5, laws=["lognormal", "binomial"]).agreeing
    ['binomial']
    """
    lam = lam_from(lam, intermittency, step_number)
    if lam is not None:
        lam, _, _ = run_arguments(lam, step_number, n0, "philox")
    laws = [parse_law(law) for law in _law_list(laws)]
    estimates = log_cumulants(x, step_number, n0, lam=lam, model=model, realizations=realizations)
    rows = []
    for law in laws:
        theory = law_targets(estimates.lam, step_number, n0, law)
        z = Cumulants(*((np.array(estimates.estimate) - theory) / estimates.standard_error))
        name = law.name if law == parse_law(law.name) else law.text
        rows.append(LawRow(name, theory, estimates.estimate, estimates.standard_error, z,
                           bool(np.all(np.abs(z) < Z_LIMIT))))
    return LawComparison(tuple(rows), estimates, estimates.lam, model)
