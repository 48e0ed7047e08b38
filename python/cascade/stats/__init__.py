"""Checks a cascade series against what theory predicts, and estimates from it.

Every function that takes data has one call shape (since 2.0.0):

    f(x, step_number, n0, <what to estimate>, *, lam=None, law="lognormal", model="dyadic",
      realizations=1, level=0.95, ...)

x is one series of N = n0 2^step_number values, K of them end to end, or a (K, N)
array; lam, law, model, realizations and level are keywords. A call in the 1.x
order is refused with a TypeError that shows the function's shape.

    check(x, step_number, n0, *, lam, law=, model=, realizations=1, as_text=False, cache=True) -> Check
        the series against the simulated reference and the exact theory, row by row
    estimate_lambda(x, step_number, n0, *, law=, model=, realizations=1, level=0.95) -> LambdaEstimate
        lambda with its confidence interval
    lag_covariance(x, n0, lags, step_number, *, lam=None, law=, model=, weights=None, realizations=1,
                   level=0.95) -> LagCovariance
    structure_functions(x, step_number, n0, q, scales, *, of="walk", lam=None, ...) -> StructureFunctions
    scaling_exponents(x, step_number, n0, q, scales, *, of="walk", lam=None, ...) -> ScalingExponents
    log_cumulants(x, step_number, n0, *, lam=None, law=, model=, realizations=1, level=0.95) -> LogCumulants
        kappa2, kappa3, kappa4 of one step's log W and the siblings' tie (Cumulants), by the
        names theory() gives them
    compare_laws(x, step_number, n0, *, lam=None, laws=every law, model=, realizations=1) -> LawComparison
    theory(lam, step_number, n0, *, lags=None, law=, model=) -> Theory
        the exact theory as numbers; it takes no data, so lambda comes first
    parse_law(text) -> Law
    intermittency_of(lam, step_number), lambda_for(intermittency, step_number)
        lambda and the intermittency coefficient lambda^2 / (step_number ln 2), both ways

The estimators need at least 8 independent cells (n0 times realizations), and
their errors are delete-one-cell jackknifes. For estimates, use the philox
stream: the default stream's draws correlate log|x| at lags 30 to 59
(docs/reproducibility.md). help(f) tells each function's parameters, result
and refusals. `python3 -m cascade.stats --help` runs the check from the
command line.
"""
from ._check import Check, Row, UncheckableSeries, check
from ._intermittency import intermittency_of, lambda_for
from ._lag_covariance import LagCovariance, lag_covariance
from ._scaling_exponents import ScalingExponents, scaling_exponents
from ._structure_functions import StructureFunctions, structure_functions
from ._lambda import LambdaEstimate, estimate_lambda
from ._law_comparison import LawComparison, LawRow, compare_laws
from ._laws import Law, parse_law
from ._log_cumulants import Cumulants, LogCumulants, log_cumulants
from ._theory import Theory, theory

__all__ = ["Check", "Row", "UncheckableSeries", "check", "LambdaEstimate", "estimate_lambda", "Theory", "theory",
           "Law", "parse_law", "Cumulants", "LogCumulants", "log_cumulants", "LawComparison", "LawRow", "compare_laws",
           "intermittency_of", "lambda_for", "LagCovariance", "lag_covariance", "StructureFunctions",
           "structure_functions", "ScalingExponents", "scaling_exponents"]
