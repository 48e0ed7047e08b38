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

from ._arguments import run_arguments
from ._laws import NAMES, Law, parse_law
from ._log_cumulants import law_targets, log_cumulants

Z_LIMIT = 3.0
ESTIMATE_NAMES = ("kappa2", "kappa3", "kappa4", "tie")


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LawRow:
    law: str
    theory: np.ndarray
    """(kappa2, kappa3, kappa4, tie) of the law at the given lambda."""
    estimate: np.ndarray
    standard_error: np.ndarray
    z: np.ndarray
    """(estimate - theory) / standard_error, per estimate."""
    agrees: bool
    """Every |z| < Z_LIMIT."""


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LawComparison:
    rows: tuple
    estimates: object
    """The LogCumulants the rows are built on."""

    def __iter__(self):
        return iter(self.rows)

    @property
    def agreeing(self):
        """The names of the laws the series agrees with."""
        return [row.law for row in self.rows if row.agrees]

    def table(self):
        lines = [f"{'law':15s}" + "".join(f"{name + ' th':>10s}{'z':>6s}" for name in ESTIMATE_NAMES) + "  agrees",
                 f"{'estimate':15s}" + "".join(f"{value:+10.4f}{'':6s}" for value in self.estimates.estimates),
                 f"{'std error':15s}" + "".join(f"{value:10.4f}{'':6s}" for value in
                                                  self.estimates.standard_errors)]
        for row in self.rows:
            lines.append(f"{row.law:15s}" + "".join(f"{theory:+10.4f}{z:+6.1f}" for theory, z in zip(row.theory, row.z))
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


def compare_laws(x, lam, step_number, n0, realizations=1, laws=NAMES):
    """One LawRow per law of `laws` (a list, or one law; default: every law, logpoisson with
    beta 2/3): its kappa2, kappa3, kappa4 and tie at `lam`, the series' estimates
    (log_cumulants), the z-scores and whether every |z| < Z_LIMIT. A series refuses its own
    law in 1.8-4.2% of seeds (1000 seeds of each law at 64 x 2^10, lambda 1.5, philox;
    docs/laws.md), above the 1.1% of four independent normal z-scores: a refusal of the true
    law now and then is expected. Refuses what log_cumulants and theory refuse, and no laws."""
    lam, _, _ = run_arguments(lam, step_number, n0)
    laws = [parse_law(law) for law in _law_list(laws)]
    estimates = log_cumulants(x, step_number, n0, realizations)
    rows = []
    for law in laws:
        theory = law_targets(lam, step_number, n0, law)
        z = (estimates.estimates - theory) / estimates.standard_errors
        name = law.name if law == parse_law(law.name) else law.text
        rows.append(LawRow(name, theory, estimates.estimates, estimates.standard_errors, z,
                           bool(np.all(np.abs(z) < Z_LIMIT))))
    return LawComparison(tuple(rows), estimates)
