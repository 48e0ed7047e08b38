"""lag_covariance, structure_functions and scaling_exponents: against the same
statistics written out directly in numpy, their theory against the program's
ensembles of every law and against brute force over a small tree, and their refusals."""
import itertools
import math
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade
from cascade.stats import lag_covariance, scaling_exponents, structure_functions, theory
from cascade.stats._structure_functions import mean_weight_product

LAWS = ("lognormal", "binomial", "microcanonical", "logpoisson")


def leave_one_out_errors(per_cell_estimates, whole):
    """Jackknife standard errors from estimates with each cell left out, written out."""
    cells = len(per_cell_estimates)
    left = np.array(per_cell_estimates)
    return np.sqrt((cells - 1) / cells * ((left - left.mean(axis=0)) ** 2).sum(axis=0))


class DirectTest(unittest.TestCase):
    """Each estimator against loops over cells, pairs and windows."""

    steps, n0 = 6, 10
    x = cascade.generate(0.9, 6, 10, 21, generator="philox", law="binomial")

    def direct_covariance(self, cells, lags, mean=None):
        logs = [np.log(np.abs(cell)) for cell in cells]
        centre = np.mean(np.concatenate(logs)) if mean is None else mean
        return np.array([np.mean(np.concatenate([(c[:-lag] - centre) * (c[lag:] - centre) for c in logs]))
                         for lag in lags])

    def test_lag_covariance_about_either_mean_and_its_error(self):
        cells = self.x.reshape(self.n0, -1)
        lags = [1, 3, 17, 63]
        mean = theory(0.9, self.steps, 1, law="binomial").mean_log_magnitude
        for lam, centre in [(0.9, mean), (None, None)]:
            with self.subTest(lam=lam):
                result = lag_covariance(self.x, lags, self.steps, self.n0, lam=lam, law="binomial")
                np.testing.assert_allclose(result.estimate, self.direct_covariance(cells, lags, centre), rtol=1e-10)
                left = [self.direct_covariance(np.delete(cells, k, axis=0), lags, centre) for k in range(self.n0)]
                np.testing.assert_allclose(result.standard_error, leave_one_out_errors(left, result.estimate),
                                           rtol=1e-8)
                self.assertEqual(result.about, "the sample mean" if lam is None else "the true mean")

    def test_structure_functions_and_exponents_of_each_signal(self):
        cells = self.x.reshape(self.n0, -1)
        q, scales = [0.5, 2.0, 3.0], [1, 2, 5, 32]
        signals = {"walk": lambda c: np.concatenate([[0.0], np.cumsum(c)]), "x": lambda c: c, "abs": np.abs}
        for of, signal in signals.items():
            with self.subTest(of=of):
                direct = np.array([[np.mean([np.abs(signal(c)[t + scale] - signal(c)[t]) ** order
                                             for c in cells for t in range(len(signal(c)) - scale)])
                                    for scale in scales] for order in q])
                result = structure_functions(self.x, q, scales, self.steps, self.n0, of=of)
                np.testing.assert_allclose(result.estimate, direct, rtol=1e-10)
                fitted = scaling_exponents(self.x, q, scales, self.steps, self.n0, of=of)
                np.testing.assert_allclose(fitted.estimate, [np.polyfit(np.log(scales), np.log(row), 1)[0]
                                                             for row in direct], rtol=1e-9)


class TheoryTest(unittest.TestCase):
    def test_mean_weight_product_by_every_outcome_of_a_small_tree(self):
        # Three steps from one cell: the binomial law's 14 independent coins, or the
        # microcanonical law's 7 coins, one per pair of siblings.
        steps, lam = 3, 1.1
        sigma = lam / math.sqrt(steps)
        c = -math.log(math.cosh(2 * sigma)) / 2
        for law, coins in [("binomial", 14), ("microcanonical", 7)]:
            products = np.zeros((8, 8))
            for signs in itertools.product((-1.0, 1.0), repeat=coins):
                logs, used, level = np.zeros(1), 0, 1
                while logs.size < 8:
                    logs = np.repeat(logs, 2)
                    if law == "binomial":
                        step = np.array(signs[used:used + logs.size])
                        used += logs.size
                    else:
                        pair = np.array(signs[used:used + logs.size // 2])
                        used += logs.size // 2
                        step = np.stack([pair, -pair], axis=1).ravel()
                    logs = logs + c + sigma * step
                    level += 1
                w = np.exp(logs)
                products += np.outer(w, w) / 2 ** coins
            for lag in (1, 2, 3, 5, 7):
                with self.subTest(law=law, lag=lag):
                    brute = np.mean([products[i, i + lag] for i in range(8 - lag)])
                    self.assertAlmostEqual(mean_weight_product(lam, steps, lag, law), brute, places=12)

    def test_each_laws_ensemble_agrees_with_theory(self):
        lam, steps, n0, seeds = 1.0, 8, 16, 60
        lags, scales = [1, 3, 16, 100], [1, 4, 16, 64]
        for law in LAWS:
            with self.subTest(law=law):
                ensemble = cascade.generate_ensemble(lam, steps, n0, range(1, seeds + 1), generator="philox", law=law)
                covariance = np.array([lag_covariance(row, lags, steps, n0, lam=lam, law=law).estimate
                                       for row in ensemble])
                expected = theory(lam, steps, 1, lags, law=law).lag_covariance
                error = covariance.std(axis=0, ddof=1) / math.sqrt(seeds)
                self.assertLess(np.max(np.abs(covariance.mean(axis=0) - expected) / error), 4.0)
                for of in ("walk", "x", "abs"):
                    second = np.array([structure_functions(row, [2.0], scales, steps, n0, of=of, lam=lam,
                                                           law=law).estimate[0] for row in ensemble])
                    exact = structure_functions(ensemble[0], [2.0], scales, steps, n0, of=of, lam=lam, law=law).theory[0]
                    error = second.std(axis=0, ddof=1) / math.sqrt(seeds)
                    self.assertLess(np.max(np.abs(second.mean(axis=0) - exact) / error), 4.0, of)
                walk = scaling_exponents(ensemble, [2.0, 3.0], scales, steps, n0, of="walk", lam=lam, law=law,
                                         realizations=seeds)
                self.assertLess(abs(walk.estimate[0] - 1.0), 4 * walk.standard_error[0])
                self.assertEqual(walk.theory[0], 1.0)
                self.assertAlmostEqual(walk.theory[1], 1.5 + theory(lam, steps, 1, law=law).zeta(3.0), places=12)
                self.assertEqual(list(walk.exact), [True, False])


class RefusalTest(unittest.TestCase):
    def test_refusals(self):
        x = np.ones(8 * 16)
        cases = [
            (lambda: lag_covariance(x[:32], [1], 4, 2), ValueError, "at least 8 independent cells"),
            (lambda: lag_covariance(x, [16], 4, 8), ValueError, "lags must be whole numbers from 1 to"),
            (lambda: lag_covariance(x, [0], 4, 8), ValueError, "lags must be"),
            (lambda: lag_covariance(x, [1.5], 4, 8), ValueError, "lags must be"),
            (lambda: lag_covariance(x, [1], 4, 8, law="cauchy"), ValueError, "law must be"),
            (lambda: lag_covariance(np.zeros(128), [1], 4, 8), ValueError, "no pair of values above 0"),
            (lambda: structure_functions(x, [0.0], [1], 4, 8), ValueError, "q must be finite numbers above 0"),
            (lambda: structure_functions(x, [2.0], [1], 4, 8, of="y"), ValueError, "of must be one of"),
            (lambda: structure_functions(x[:-1], [2.0], [1], 4, 8), ValueError, "expected"),
            (lambda: scaling_exponents(x, [2.0], [4, 4], 4, 8), ValueError, "at least two different scales"),
            (lambda: scaling_exponents(np.zeros(128), [2.0], [1, 2], 4, 8), ValueError, "structure function is 0"),
            (lambda: lag_covariance(x, [1], 4, 8, lam=math.inf), ValueError, "lambda"),
        ]
        for call, kind, words in cases:
            with self.subTest(words=words):
                with self.assertRaisesRegex(kind, words):
                    call()


if __name__ == "__main__":
    unittest.main()
