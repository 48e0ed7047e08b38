"""lambda and the intermittency coefficient: each the other's inverse, the
curvature of every law's scaling exponents, and the fall of the covariance of
the program's log weights per unit of ln-scale."""
import math
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade
from cascade.stats import intermittency_of, lambda_for, theory

LAWS = ("lognormal", "binomial", "microcanonical", "logpoisson")


class ConversionTest(unittest.TestCase):
    def test_both_ways_and_against_each_laws_curvature(self):
        for lam, steps in [(0.0, 1), (0.4, 16), (1.5, 10), (3.0, 48)]:
            with self.subTest(lam=lam, steps=steps):
                coefficient = intermittency_of(lam, steps)
                self.assertAlmostEqual(coefficient, lam * lam / (steps * 0.6931471805599453), places=15)
                self.assertAlmostEqual(lambda_for(coefficient, steps), lam, places=12)
                for law in LAWS if steps <= 30 else ():  # the theory is of what either stream makes
                    exact = theory(lam, steps, 1, law=law)
                    self.assertAlmostEqual(coefficient, -exact.c2, places=14)
                    self.assertAlmostEqual(coefficient, exact.step_variance / math.log(2), places=14)

    def test_refusals(self):
        cases = [((-0.1, 10), ValueError, "at least 0"), ((math.nan, 10), ValueError, "finite"),
                 ((math.inf, 10), ValueError, "finite"), ((True, 10), TypeError, "real number"),
                 (("0.1", 10), TypeError, "real number"), ((0.1, 0), ValueError, "step_number"),
                 ((1e308, 40), ValueError, "lambda"), ((0.1, 49), ValueError, r"got 1 \* 2\^49")]
        for arguments, kind, words in cases:
            with self.subTest(arguments=arguments):
                with self.assertRaisesRegex(kind, words):
                    lambda_for(*arguments)
        for arguments, kind in [((True, 10), TypeError), ((0.4, 0), ValueError), ((0.4, 2.0), TypeError)]:
            with self.subTest(arguments=arguments):
                with self.assertRaises(kind):
                    intermittency_of(*arguments)


class ScaleTest(unittest.TestCase):
    def test_the_covariance_of_log_w_falls_by_the_coefficient_per_unit_of_ln_scale(self):
        # Measured on the program's own weights, about their true mean, at lags 2 ... 64 of
        # cells of 2^14: far below the integral scale the fall per doubling is sigma^2 (less
        # 2^(p+1-n) of it), so the slope against ln l is minus the coefficient.
        lam, steps, n0 = 1.0, 14, 64
        _, w = cascade.generate(lam, steps, n0, 9, generator="philox", weights=True)
        logs = (np.log(w) - theory(lam, steps, n0).mean_log_weight).reshape(n0, -1)
        lags = 2 ** np.arange(1, 7)
        covariances = [np.mean(logs[:, :-lag] * logs[:, lag:]) for lag in lags]
        slope = np.polyfit(np.log(lags), covariances, 1)[0]
        self.assertAlmostEqual(-slope, intermittency_of(lam, steps), delta=0.1 * intermittency_of(lam, steps))


if __name__ == "__main__":
    unittest.main()
