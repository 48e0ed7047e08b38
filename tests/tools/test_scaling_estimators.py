"""lag_covariance, structure_functions and scaling_exponents: against the same
statistics written out directly in numpy, their theory against the program's
ensembles of every law and against brute force over a small tree, and their refusals."""
import itertools
import math
import re
import sys
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade

sys.path.insert(0, tool_runs.TOOLS)
import measure_estimator_coverage  # noqa: E402
from cascade.stats import lag_covariance, scaling_exponents, structure_functions, theory
from cascade.stats._structure_theory import exact_structure_function

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

    def direct_covariance(self, rows, length, lags, mean=None, left_out=None):
        """Loops over the pairs of each row; `left_out` (row, cell) drops that cell's values from the
        sample mean and the pairs whose first value is in it."""
        logs = [np.log(np.abs(row)) for row in rows]
        kept = [[i for i in range(len(row)) if left_out is None or (r, i // length) != left_out]
                for r, row in enumerate(rows)]
        centre = np.mean([logs[r][i] for r in range(len(rows)) for i in kept[r]]) if mean is None else mean
        return np.array([np.mean([(logs[r][i] - centre) * (logs[r][i + lag] - centre) for r in range(len(rows))
                                  for i in kept[r] if i + lag < len(rows[r])]) for lag in lags])

    def test_lag_covariance_about_either_mean_and_its_error(self):
        # A series of 10 cells and an ensemble of 3 series of 4 cells: pairs straddle cells but
        # never two series; the jackknife leaves out one cell and the pairs that start in it.
        ensemble = cascade.generate_ensemble(0.9, self.steps, 4, [5, 6, 7], generator="philox", law="binomial")
        length = 1 << self.steps
        mean = theory(0.9, self.steps, 1, law="binomial").mean_log_magnitude
        for rows, n0, lags in [(self.x[None, :], self.n0, [1, 3, 63, 64, 65, 300]),
                               (ensemble, 4, [1, 17, 64, 255])]:
            cells = [(r, c) for r in range(len(rows)) for c in range(n0)]
            for lam, centre in [(0.9, mean), (None, None)]:
                with self.subTest(rows=len(rows), lam=lam):
                    given = rows[0] if len(rows) == 1 else rows
                    result = lag_covariance(given, lags, self.steps, n0, lam=lam, law="binomial",
                                            realizations=len(rows))
                    np.testing.assert_allclose(result.estimate, self.direct_covariance(rows, length, lags, centre),
                                               rtol=1e-10)
                    left = [self.direct_covariance(rows, length, lags, centre, cell) for cell in cells]
                    np.testing.assert_allclose(result.standard_error, leave_one_out_errors(left, result.estimate),
                                               rtol=1e-8)
                    self.assertEqual(result.about, "the sample mean" if lam is None else "the true mean")
                    self.assertEqual(result.cells, len(cells))

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


def factor_outcomes(law, lam, steps):
    """Every outcome of one step's log factor, written from each law's definition, with its probability:
    the coin of the two-valued laws, Gauss-Hermite nodes of the normal, the Poisson counts to 10."""
    sigma = lam / math.sqrt(steps)
    if law in ("binomial", "microcanonical"):
        c = -math.log(math.cosh(2 * sigma)) / 2
        return np.array([c - sigma, c + sigma]), np.array([0.5, 0.5])
    if law == "lognormal":
        nodes, weights = np.polynomial.hermite_e.hermegauss(10)
        return sigma * nodes - sigma ** 2, weights / math.sqrt(2 * math.pi)
    beta = 2 / 3
    mu = sigma ** 2 / math.log(beta) ** 2
    counts = np.arange(11)
    return (mu * (1 - beta ** 2) / 2 + counts * math.log(beta),
            np.exp(-mu + counts * math.log(mu) - np.array([math.lgamma(k + 1) for k in counts])))


def every_tree(law, lam, steps):
    """(weights (outcomes, 2^steps), probabilities): every outcome of one cell's factors. Each step's
    factors are drawn per child, or for the microcanonical law per pair of siblings (+ to the left,
    - to the right, about c)."""
    logs, probability = np.zeros((1, 1)), np.ones(1)
    values, chances = factor_outcomes(law, lam, steps)
    for _ in range(steps):
        children = np.repeat(logs, 2, axis=1)
        draws = children.shape[1] // 2 if law == "microcanonical" else children.shape[1]
        for d in range(draws):
            children = np.repeat(children, len(values), axis=0)
            probability = np.repeat(probability, len(values)) * np.tile(chances, len(probability))
            picked = np.tile(values, len(children) // len(values))
            if law == "microcanonical":
                c = values.mean()
                children[:, 2 * d] += picked
                children[:, 2 * d + 1] += 2 * c - picked
            else:
                children[:, d] += picked
        logs = children
    return np.exp(logs), probability


class TheoryTest(unittest.TestCase):
    def test_exact_structure_functions_against_every_outcome_of_a_small_tree(self):
        # Two-valued laws: every coin of 3 steps (14 for binomial, 7 for microcanonical),
        # exactly; the others: 2 steps, every node of a quadrature of each of the 6 factors.
        # g's moments are taken in closed form: E g^2 = 1, E g^4 = 3, E|g| = sqrt(2/pi), E|g|^3 = 2 sqrt(2/pi).
        m1, m3 = math.sqrt(2 / math.pi), 2 * math.sqrt(2 / math.pi)
        lam = 0.6  # the Poisson counts to 10 then leave out less than 1e-7 of the chance
        for law, steps in [("binomial", 3), ("microcanonical", 3), ("lognormal", 2), ("logpoisson", 2)]:
            w, p = every_tree(law, lam, steps)
            self.assertAlmostEqual(p.sum(), 1.0, places=6)
            length = w.shape[1]
            for scale in range(1, length):
                windows = np.stack([(w[:, t:t + scale] ** 2).sum(axis=1) for t in range(length - scale + 1)], 1)
                a, b = w[:, :-scale], w[:, scale:]
                brute = {
                    ("walk", 2.0): p @ windows.mean(axis=1),
                    ("walk", 4.0): p @ (3 * windows ** 2).mean(axis=1),
                    ("x", 4.0): p @ (3 * a ** 4 + 6 * a ** 2 * b ** 2 + 3 * b ** 4).mean(axis=1),
                    ("abs", 2.0): p @ (a ** 2 + b ** 2 - 2 * m1 * m1 * a * b).mean(axis=1),
                    ("abs", 4.0): p @ (3 * a ** 4 - 4 * m3 * m1 * (a ** 3 * b + a * b ** 3) + 6 * a ** 2 * b ** 2
                                       + 3 * b ** 4).mean(axis=1),
                }
                for (of, order), expected in brute.items():
                    with self.subTest(law=law, scale=scale, of=of, q=order):
                        exact = exact_structure_function(lam, steps, order, scale, of, law)
                        self.assertAlmostEqual(exact / expected, 1.0, places=6)

    def test_each_laws_ensemble_agrees_with_theory(self):
        # The mean over 60 philox series of each estimate against theory, in standard errors of that mean.
        lam, steps, n0, seeds = 0.7, 8, 16, 60
        lags, scales = [1, 3, 16, 100, 256, 1000], [1, 4, 16, 64]
        for law in LAWS:
            with self.subTest(law=law):
                ensemble = cascade.generate_ensemble(lam, steps, n0, range(1, seeds + 1), generator="philox", law=law)
                covariance = np.array([lag_covariance(row, lags, steps, n0, lam=lam, law=law).estimate
                                       for row in ensemble])
                expected = theory(lam, steps, n0, lags, law=law).lag_covariance
                error = covariance.std(axis=0, ddof=1) / math.sqrt(seeds)
                self.assertLess(np.max(np.abs(covariance.mean(axis=0) - expected) / error), 4.0)
                for of in ("walk", "x", "abs"):
                    functions = np.array([structure_functions(row, [2.0, 4.0], scales, steps, n0, of=of, lam=lam,
                                                              law=law).estimate for row in ensemble])
                    exact = structure_functions(ensemble[0], [2.0, 4.0], scales, steps, n0, of=of, lam=lam,
                                                law=law).theory
                    error = functions.std(axis=0, ddof=1) / math.sqrt(seeds)
                    self.assertLess(np.max(np.abs(functions.mean(axis=0) - exact) / error), 4.0, of)
                walk = scaling_exponents(ensemble, [2.0, 3.0, 4.0], scales, steps, n0, of="walk", lam=lam, law=law,
                                         realizations=seeds)
                self.assertLess(abs(walk.estimate[0] - 1.0), 4 * walk.standard_error[0])
                self.assertLess(abs(walk.estimate[2] - walk.finite_size[2]), 4 * walk.standard_error[2])
                self.assertEqual(walk.theory[0], 1.0)
                self.assertAlmostEqual(walk.theory[1], 1.5 + theory(lam, steps, 1, law=law).zeta(3.0), places=12)
                self.assertAlmostEqual(walk.finite_size[0], 1.0, places=12)
                self.assertTrue(math.isnan(walk.finite_size[1]))

    def test_exact_slopes_where_the_limit_is_exact_and_where_it_is_not(self):
        # x at q = 2 has S_2 = 2 at every scale: slope 0 exactly, as the limit; x at q = 4 carries the
        # shared factors' term, which falls as the scale grows: below 0 at finite size.
        x = cascade.generate(1.0, 8, 16, 3, generator="philox")
        fitted = scaling_exponents(x, [2.0, 4.0], [1, 4, 16, 64], 8, 16, of="x", lam=1.0)
        self.assertAlmostEqual(fitted.finite_size[0], 0.0, places=12)
        self.assertLess(fitted.finite_size[1], -0.01)
        self.assertEqual(list(fitted.theory), [0.0, 0.0])


class RefusalTest(unittest.TestCase):
    def test_refusals(self):
        x = np.ones(8 * 16)
        cases = [
            (lambda: lag_covariance(x[:32], [1], 4, 2), ValueError, "at least 8 independent cells"),
            (lambda: structure_functions(x[:16], [2.0], [1], 4, 1), ValueError, "for one cell give an ensemble"),
            (lambda: scaling_exponents(x, [2.0], [1, 16], 4, 8), ValueError, "scales must be whole numbers from 1 to"),
            (lambda: lag_covariance(x, [128], 4, 8), ValueError, "lags must be whole numbers from 1 to N - 1 = 127"),
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


class CoverageToolTest(unittest.TestCase):
    def test_intervals_hold_the_exact_truths_in_a_small_run(self):
        # 40 series of 16 x 2^8: the exact truths (C at every lag, S_2 of the walk, zeta_walk(2))
        # must be held about 95% of the time; a truth taken at the wrong shape or law is not.
        tool = measure_estimator_coverage
        pooled, tool.POOLED_VALUES = tool.POOLED_VALUES, 1 << 16
        try:
            coverage, bias = tool.lines(range(1, 41), [(8, 16, 1, ("microcanonical",))], (0.7,))
        finally:
            tool.POOLED_VALUES = pooled
        self.assertEqual([len(line) for line in coverage + bias], [3 + len(tool.COLUMNS), 3 + len(tool.ORDERS)])
        shares = [tuple(map(float, re.fullmatch(r"(\d+\.\d) / (\d+\.\d)", cell).groups())) for cell in coverage[0][3:]]
        exact = [shares[k] for k, name in enumerate(tool.COLUMNS) if name.startswith(("C(", "S_2", "ζ_walk(2)"))]
        self.assertEqual(len(exact), len(tool.LAGS) + 2)
        for own, normal in exact:
            self.assertGreaterEqual(own, 80.0)
            self.assertGreaterEqual(own, normal)


if __name__ == "__main__":
    unittest.main()
