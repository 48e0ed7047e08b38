"""Checks a cascade series against what theory predicts, and estimates its lambda.

    check(values, lam, step_number, n0, *, realizations=1, as_text=False) -> Check
        .rows (also what iterating gives): Row(name, estimate, standard_error,
        theory, deviation, agrees) for the mean square, the mean and variance
        of log|x| and C(l); .agrees for the whole check. A row's agrees is
        None where the simulated series cannot place it (.not_judged: at
        lambda of about 20 and more, whose values underflow to 0)
    estimate_lambda(values, step_number, n0, *, realizations=1) -> LambdaEstimate
        .lam with its 95% confidence interval .low to .high

Both judge by series of the same shape that the program simulates
(cascade.stats.simulate). `python3 -m cascade.stats --help` runs the check
from the command line.
"""
from ._check import Check, Row, UncheckableSeries, check
from ._lambda import LambdaEstimate, estimate_lambda

__all__ = ["Check", "Row", "UncheckableSeries", "check", "LambdaEstimate", "estimate_lambda"]
