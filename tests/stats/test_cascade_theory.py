"""The theory the check relies on, derived again in other ways."""
import math
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
from cascade.stats import _theory as cascade_theory


def shared_generations(i, j, steps):
    """Steps whose factor values i and j both carry: those whose blocks hold both."""
    if i >> steps != j >> steps:
        return 0
    return sum(1 for k in range(1, steps + 1) if i >> (steps - k) == j >> (steps - k))


class LagCovarianceTest(unittest.TestCase):
    def test_equals_the_average_over_pairs_of_shared_generations(self):
        for lam, steps, n0 in [(0.8, 3, 1), (0.5, 4, 3), (1.3, 5, 2)]:
            count = n0 << steps
            sigma2 = lam * lam / steps
            for lag in range(1, count):
                pairs = [shared_generations(i, i + lag, steps) for i in range(count - lag)]
                with self.subTest(lam=lam, steps=steps, n0=n0, lag=lag):
                    self.assertAlmostEqual(cascade_theory.lag_covariance(lam, steps, count, lag),
                                           sigma2 * np.mean(pairs), places=12)

    def test_at_powers_of_two_falls_by_one_step_variance_per_doubling(self):
        for lam, steps, n0 in [(0.5, 12, 256), (0.3, 7, 1), (1.0, 16, 3)]:
            count = n0 << steps
            sigma2 = lam * lam / steps
            for p in range(steps + 1):
                lag = 1 << p
                if lag >= count:
                    continue
                closed_form = sigma2 * count / (count - lag) * (steps - p - 2 + 2.0 ** (p + 1 - steps))
                with self.subTest(lam=lam, steps=steps, p=p):
                    self.assertAlmostEqual(cascade_theory.lag_covariance(lam, steps, count, lag),
                                           closed_form, places=12)


class OnePointMomentsTest(unittest.TestCase):
    """x = w g with log w ~ N(-lambda^2, lambda^2): a large independent sample of
    such values must show the predicted moments within a few standard errors."""

    def test_moments_of_a_large_sample(self):
        rng = np.random.default_rng(5)
        size = 1_000_000
        for lam in (0.0, 0.4, 0.9):
            x = np.exp(-lam * lam + lam * rng.standard_normal(size)) * rng.standard_normal(size)
            logs = np.log(np.abs(x))
            centred = logs - cascade_theory.mean_log_magnitude(lam)
            for name, terms, expected in [
                ("mean square", x * x, cascade_theory.mean_square()),
                ("mean log", logs, cascade_theory.mean_log_magnitude(lam)),
                ("variance log", centred * centred, cascade_theory.variance_log_magnitude(lam)),
            ]:
                error = terms.std() / math.sqrt(size)
                with self.subTest(lam=lam, statistic=name):
                    self.assertLess(abs(terms.mean() - expected), 4 * error)


if __name__ == "__main__":
    unittest.main()
