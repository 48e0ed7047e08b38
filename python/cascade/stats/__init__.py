"""Checks a cascade series against what theory predicts, and estimates its lambda.

    check(values, lam, step_number, n0, *, realizations=1, law="lognormal", as_text=False, cache=True) -> Check
        .rows (also what iterating gives): Row(name, estimate, standard_error,
        theory, deviation, agrees) for the mean square, the mean and variance
        of log|x| and C(l); .agrees for the whole check. A row's agrees is
        None where the simulated series cannot place it (.not_judged: at
        lambda of about 20 and more, whose values underflow to 0).
        .law_rows: the kurtosis K(L) of log-energy steps between sibling
        boxes of L values, judged together: .law_deviation against
        .law_threshold, .law_agrees (true where .law_judged is false)
        law: another multiplier law to hold the series to (its reference
        simulated under it on the philox stream, its theory); .law is the Law
    estimate_lambda(values, step_number, n0, *, realizations=1) -> LambdaEstimate
        .lam with its 95% confidence interval .low to .high; where the estimate
        of lambda^2 is at most 0, .one_sided and the interval is [0, .high]
    theory(lam, step_number, n0, lags=None, law="lognormal") -> Theory
        the exact theory as numbers (help(cascade.stats.theory) has the formulas),
        under the program's log-normal factors or another multiplier law
    parse_law(text) -> Law
        "lognormal", "binomial", "microcanonical", "logpoisson" or "logpoisson:BETA";
        a Law gives one step's log-cumulants and E[W^q]
    log_cumulants(x, step_number, n0, realizations=1) -> LogCumulants
        kappa2, kappa3, kappa4 of one step's log W and the siblings' tie, from the
        joint cumulants of box log-energies, with jackknife standard errors over
        the cells, beside each law's values at the implied lambda
    compare_laws(x, lam, step_number, n0, realizations=1, laws=every law) -> LawComparison
        one LawRow per law (laws=: a list, or one law): its values at lam, the estimates,
        z-scores, agrees; a series refuses its own law in 1.8-4.2% of seeds (docs/laws.md)

    lag_covariance(x, lags, step_number, n0, *, lam=None, law=, weights=None, realizations=1) -> LagCovariance
        Cov of log|x| (or log w) at any lag below N, over each series' pairs, about the true mean
        (lam given) or the sample mean (.about says which), jackknife errors and intervals,
        theory(lam, step_number, n0, lags).lag_covariance of each law beside it
    structure_functions(x, q, scales, step_number, n0, *, of="walk", lam=None, law=, ...) -> StructureFunctions
        S_q(l) of the cumulated walk, of x or of |x|, jackknife errors; exact theory for the walk
        at q = 2 and 4, for x and |x| at every even q
    scaling_exponents(x, q, scales, step_number, n0, *, of="walk", lam=None, law=, ...) -> ScalingExponents
        zeta(q) fitted over the scales, jackknife errors, each law's limit exponents beside it and
        the exact slope at those scales where S_q is exact (.finite_size)
    All three need at least 8 independent cells (n0 times realizations): one cell is refused;
    level= (0.95) must lie strictly between 0 and 1; an estimate whose sums overflow or whose
    jackknife error cannot be formed is refused, never given as inf, nan or a zero-width interval.
    For estimates of the scaling, use the philox stream.
    intermittency_of(lam, step_number) -> float
        lambda^2 / (step_number ln 2): the fall of Var log w per unit of ln-scale
        (the intermittency coefficient, -c2); lambda_for(intermittency, step_number)
        gives lambda back

values may also be a (K, N) array: K realizations of N values each.

Both judge by series of the same shape that the program simulates
(cascade.stats.simulate). `python3 -m cascade.stats --help` runs the check
from the command line.
"""
from ._check import Check, Row, UncheckableSeries, check
from ._intermittency import intermittency_of, lambda_for
from ._lag_covariance import LagCovariance, lag_covariance
from ._scaling_exponents import ScalingExponents, scaling_exponents
from ._structure_functions import StructureFunctions, structure_functions
from ._lambda import LambdaEstimate, estimate_lambda
from ._law_comparison import LawComparison, LawRow, compare_laws
from ._laws import Law, parse_law
from ._log_cumulants import LogCumulants, log_cumulants
from ._theory import Theory, theory

__all__ = ["Check", "Row", "UncheckableSeries", "check", "LambdaEstimate", "estimate_lambda", "Theory", "theory",
           "Law", "parse_law", "LogCumulants", "log_cumulants", "LawComparison", "LawRow", "compare_laws",
           "intermittency_of", "lambda_for", "LagCovariance", "lag_covariance", "StructureFunctions",
           "structure_functions", "ScalingExponents", "scaling_exponents"]
