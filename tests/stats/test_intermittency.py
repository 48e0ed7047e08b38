"""lambda and the intermittency coefficient: each the other's inverse, the
curvature of every law's scaling exponents, and the fall of the covariance of
the program's log weights per unit of ln-scale."""
import math
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade
from cascade.stats import intermittency_of, lambda_for, theory

LAWS = tuple(cascade.laws())


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

    def test_the_variance_of_a_boxs_log_weight_falls_by_the_coefficient_per_unit_of_ln_scale(self):
        # The mean of log w over a box of l = 2^m values holds the n - m factors above the box
        # whole and averages the m levels below it, so its variance is sigma^2 (n - m + 1 - 2^-m);
        # with sigma^2 2^-m added back, a line against ln l whose slope is minus the coefficient.
        lam, steps, n0 = 1.0, 14, 64
        coefficient = intermittency_of(lam, steps)
        _, w = cascade.generate(lam, steps, n0, 5, generator="philox", weights=True)
        logs = np.log(w) - theory(lam, steps, n0).mean_log_weight
        m = np.arange(9)
        variances = np.array([np.mean(logs.reshape(-1, 1 << k).mean(axis=1) ** 2) for k in m])
        slope = np.polyfit(m * math.log(2), variances + coefficient * math.log(2) * 2.0 ** -m, 1)[0]
        self.assertAlmostEqual(-slope, coefficient, delta=0.02 * coefficient)

    def test_theorys_covariance_falls_by_the_coefficient_per_unit_of_ln_lag(self):
        # C(2^p) - C(2^(p+1)) = sigma^2 (1 - 2^(p+1-n)) and the N/(N - l) of the pairs: far
        # below the integral scale of 2^30 values, the coefficient times ln 2 for every law
        # whose siblings are independent.
        lam, steps, n0 = 0.7, 30, 1
        lags = 2 ** np.arange(12)
        for law in ("lognormal", "binomial", "logpoisson"):
            with self.subTest(law=law):
                covariance = theory(lam, steps, n0, lags, law=law).log_weight_lag_covariance
                falls = -np.diff(covariance) / math.log(2)
                np.testing.assert_allclose(falls, intermittency_of(lam, steps), rtol=2e-4)


if __name__ == "__main__":
    unittest.main()
