"""Checks a cascade series against what theory predicts, and estimates its lambda.

    check_series(values, lam, step_number, n0)  -> Check: rows of (estimate,
        standard error, theory, deviation, agrees), and whether all agree
    estimate_lambda(values, step_number, n0)     -> LambdaEstimate with a 95% interval

`python3 -m cascade.stats --help` runs the same check from the command line.
"""
from ._check import Check, Row, UncheckableSeries, check_series
from ._lambda import LambdaEstimate, estimate_lambda

__all__ = ["Check", "Row", "UncheckableSeries", "check_series", "LambdaEstimate", "estimate_lambda"]
