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
from refusal_tables import assert_refusals, level_cases
from scipy import stats as scipy_stats

sys.path.insert(0, tool_runs.TOOLS)
import measure_estimator_coverage  # noqa: E402
from cascade.stats import UncheckableSeries, lag_covariance, scaling_exponents, structure_functions, theory
from cascade.stats import _lag_sums
from cascade.stats import _lag_covariance as lag_covariance_module
from cascade.stats._structure_theory import exact_structure_function

LAWS = tuple(cascade.laws())


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


def direct_pair_sums(values, lags, n0, shift):
    """Per cell, per lag: the count of pairs (both above 0) that start in the cell, and the sums of
    y_i, y_(i+l) and y_i y_(i+l), y = log|x| - shift, each lag's products formed one by one."""
    rows, count = values.shape
    usable = values != 0
    with np.errstate(divide="ignore"):
        logs = np.where(usable, np.log(np.abs(values)) - shift, 0.0)
    columns = []
    for lag in lags:
        both = usable[:, :-lag] & usable[:, lag:]
        a, b = np.where(both, logs[:, :-lag], 0.0), np.where(both, logs[:, lag:], 0.0)
        for term in (both.astype(float), a, b, a * b):
            padded = np.zeros((rows, count))  # the last cells start fewer pairs, or none
            padded[:, :count - lag] = term
            columns.append(padded.reshape(rows * n0, -1).sum(axis=1))
    return np.stack(columns, axis=-1)


class LagSumsTest(unittest.TestCase):
    def test_transformed_sums_equal_the_direct_products_at_every_kind_of_lag(self):
        # Lags within a cell, across one and several cells, up to N - 1; values of 0 (whose pairs the
        # transforms of the mask leave out) and magnitudes from 1e-300 to 1e200.
        series = cascade.generate(0.9, 6, 10, 21, generator="philox")
        ensemble = cascade.generate_ensemble(1.2, 5, 4, [5, 6, 7], generator="philox", law="logpoisson")
        zeros = ensemble.copy()
        zeros[0, [0, 3, 40]] = 0.0
        zeros[2, 100:140] = 0.0
        wide = series.copy()
        wide[[5, 300, 639]] = [1e200, 1e-300, -1e150]
        def every_kind(length, count):
            return [1, 2, length - 1, length, length + 1, 2 * length + 3, count - 2, count - 1]

        # Short lags, or whole cells apart, need shorter transforms than 2 L.
        cases = [("series", series[None, :], 10, every_kind), ("ensemble", ensemble, 4, every_kind),
                 ("zeros", zeros, 4, every_kind), ("wide", wide[None, :], 10, every_kind),
                 ("short lags in one cell", ensemble, 1, lambda length, count: [1, 3, 17]),
                 ("short lags with zeros", zeros, 1, lambda length, count: [2, 9]),
                 ("whole cells apart", ensemble, 4, lambda length, count: [length, 2 * length])]
        for name, values, n0, chosen in cases:
            count, length = values.shape[1], values.shape[1] // n0
            lags = np.array(sorted(set(chosen(length, count))))
            with self.subTest(name):
                usable = values != 0
                shift = np.log(np.abs(values[usable])).mean()
                direct = direct_pair_sums(values, lags, n0, shift)
                leading, transformed, least, largest = _lag_sums.cell_sums(values, lags, n0, shift)
                logs = np.log(np.abs(values[usable]))
                self.assertEqual((least, largest), (logs.min(), logs.max()))
                np.testing.assert_array_equal(leading[:, 0], usable.reshape(-1, length).sum(axis=1))
                np.testing.assert_allclose(leading[:, 1], np.where(usable, np.log(np.abs(np.where(usable, values, 1)))
                                                                   - shift, 0).reshape(-1, length).sum(axis=1),
                                           rtol=1e-12, atol=1e-12 * length)
                np.testing.assert_array_equal(transformed[:, 0::4], direct[:, 0::4])
                # Rounding relative to the largest product a cell can hold.
                scale = np.max(np.abs(direct[:, 3::4]))
                np.testing.assert_allclose(transformed, direct, rtol=1e-12, atol=1e-12 * scale)


    def test_the_same_in_batches_of_rows_and_groups_of_lags(self):
        # One series a batch, two lags a group, lags out of order and repeated: the same numbers.
        ensemble = cascade.generate_ensemble(0.7, 5, 4, range(1, 9), generator="philox")
        lags = [100, 3, 127, 3, 32, 64, 1]
        whole = lag_covariance(ensemble, lags, 5, 4)
        saved = _lag_sums.BATCH_VALUES, lag_covariance_module.TABLE_VALUES
        _lag_sums.BATCH_VALUES, lag_covariance_module.TABLE_VALUES = 128, 2 * 32 * 4
        try:
            pieces = lag_covariance(ensemble, lags, 5, 4)
        finally:
            _lag_sums.BATCH_VALUES, lag_covariance_module.TABLE_VALUES = saved
        np.testing.assert_allclose(pieces.estimate, whole.estimate, rtol=1e-13)
        np.testing.assert_allclose(pieces.standard_error, whole.standard_error, rtol=1e-11)
        np.testing.assert_array_equal(pieces.lags, lags)


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
    ones = np.ones(8 * 16)
    x = cascade.generate(0.5, 4, 8, 3, generator="philox")  # 8 cells of 16 values
    huge = np.where(np.arange(128) == 37, 1e200, x)

    def test_lag_covariance(self):
        x, ones = self.x, self.ones
        assert_refusals(self, [
            ("too few cells", lambda: lag_covariance(ones[:32], [1], 4, 2), ValueError, "at least 8 independent cells"),
            ("lag N", lambda: lag_covariance(ones, [128], 4, 8), ValueError,
             "lags must be whole numbers from 1 to N - 1 = 127"),
            ("lag 0", lambda: lag_covariance(ones, [0], 4, 8), ValueError, "lags must be"),
            ("lag 1.5", lambda: lag_covariance(ones, [1.5], 4, 8), ValueError, "lags must be"),
            ("lag text", lambda: lag_covariance(x, ["1"], 4, 8), TypeError, "lags must be real numbers, got str '1'"),
            ("lag a bool", lambda: lag_covariance(x, [2, True], 4, 8), TypeError, "got bool True (item 1)"),
            ("unknown law", lambda: lag_covariance(ones, [1], 4, 8, law="cauchy"), ValueError, "law must be"),
            ("all zeros", lambda: lag_covariance(np.zeros(128), [1], 4, 8), ValueError, "no pair of values above 0"),
            ("lambda inf", lambda: lag_covariance(ones, [1], 4, 8, lam=math.inf), ValueError, "lambda"),
            # Pairs at N - 1 and N - 2 all start in the last cell: leaving it out leaves no pair.
            ("lag N - 1", lambda: lag_covariance(x, [1, 127], 4, 8), UncheckableSeries,
             "at lag 127 every pair of values above 0 starts in one cell"),
            ("lag N - 2", lambda: lag_covariance(x, [126], 4, 8, lam=0.5), UncheckableSeries, "C(126) no error"),
            ("constant", lambda: lag_covariance(ones, [1], 4, 8, lam=0.5), UncheckableSeries,
             "log|x| is 0 at every value above 0 (a constant series)"),
            ("constant magnitude", lambda: lag_covariance(np.tile([2.0, -2.0], 64), [1], 4, 8), UncheckableSeries,
             "log|x| is 0.693147 at every value above 0"),
            ("weights below 0", lambda: lag_covariance(x, [1], 4, 8, weights=-np.abs(x)), ValueError,
             "weights must be finite and positive"),
            ("weights infinite", lambda: lag_covariance(x, [1], 4, 8, weights=np.where(x > 0, np.inf, 1.0)),
             ValueError, "got inf at index"),
            ("constant weights", lambda: lag_covariance(x, [1], 4, 8, weights=np.full(128, 0.5)), UncheckableSeries,
             "log w is -0.693147"),
            *level_cases(lambda level: lag_covariance(x, [1], 4, 8, level=level)),
        ])

    def test_structure_functions(self):
        x, ones = self.x, self.ones
        assert_refusals(self, [
            ("one cell", lambda: structure_functions(ones[:16], [2.0], [1], 4, 1), ValueError,
             "for one cell give an ensemble"),
            ("q 0", lambda: structure_functions(ones, [0.0], [1], 4, 8), ValueError,
             "q must be finite numbers above 0"),
            ("q text", lambda: structure_functions(x, ["2"], [1], 4, 8), TypeError,
             "q must be real numbers, got str '2'"),
            ("q a bool", lambda: structure_functions(x, [True], [1], 4, 8), TypeError,
             "q must be real numbers, got bool"),
            ("q text alone", lambda: structure_functions(x, "2", [1], 4, 8), TypeError, "q must be real numbers"),
            ("unknown signal", lambda: structure_functions(ones, [2.0], [1], 4, 8, of="y"), ValueError,
             "of must be one of"),
            ("wrong length", lambda: structure_functions(ones[:-1], [2.0], [1], 4, 8), ValueError, "expected"),
            ("scale a bool", lambda: structure_functions(x, [2.0], [True], 4, 8), TypeError, "scales must be real"),
            # Sums of |increment|^4 at 1e200 are beyond the doubles: refused, not inf with nan errors.
            ("overflow", lambda: structure_functions(self.huge, [2.0, 4.0], [1, 4], 4, 8), UncheckableSeries,
             "structure_functions: S_2 overflows the doubles at scale 1 (the values reach 1e+200)"),
            ("overflow of |x|", lambda: structure_functions(self.huge, [1.0, 4.0], [3], 4, 8, of="abs"),
             UncheckableSeries, "S_4 overflows the doubles at scale 3"),
            ("constant x", lambda: structure_functions(ones * 3, [2.0], [1, 2], 4, 8, of="x"), UncheckableSeries,
             "structure_functions: S_2(1) is the same with any cell left out, so its jackknife error is 0"),
            ("constant walk", lambda: structure_functions(ones, [2.0], [5], 4, 8), UncheckableSeries,
             "S_2(5) is the same with any cell left out"),
            ("all zeros", lambda: structure_functions(np.zeros(128), [2.0], [1], 4, 8), UncheckableSeries,
             "jackknife error is 0"),
            *level_cases(lambda level: structure_functions(x, [2.0], [1], 4, 8, level=level)),
        ])

    def test_scaling_exponents(self):
        x, ones = self.x, self.ones
        assert_refusals(self, [
            ("scale of a cell", lambda: scaling_exponents(ones, [2.0], [1, 16], 4, 8), ValueError,
             "scales must be whole numbers from 1 to"),
            ("one scale", lambda: scaling_exponents(ones, [2.0], [4, 4], 4, 8), ValueError,
             "at least two different scales"),
            ("q text", lambda: scaling_exponents(x, [2.0, "3"], [1, 2], 4, 8), TypeError, "got str '3' (item 1)"),
            ("all zeros", lambda: scaling_exponents(np.zeros(128), [2.0], [1, 2], 4, 8), UncheckableSeries,
             "scaling_exponents: S_2(1) is 0"),
            ("overflow", lambda: scaling_exponents(self.huge, [4.0], [1, 2], 4, 8), UncheckableSeries,
             "scaling_exponents: S_4 overflows the doubles at scale 1 (the values reach 1e+200)"),
            ("constant walk", lambda: scaling_exponents(ones, [2.0], [1, 2], 4, 8), UncheckableSeries,
             "zeta(2) is the same with any cell left out"),
            *level_cases(lambda level: scaling_exponents(x, [2.0], [1, 2], 4, 8, level=level)),
        ])

    def test_a_level_inside_0_and_1_scales_the_interval_by_students_t(self):
        # 8 cells: t with 7 degrees of freedom, from scipy.
        for level in (0.5, np.float32(0.9), 0.999):
            result = lag_covariance(self.x, [1, 5], 4, 8, level=level)
            np.testing.assert_allclose((result.high - result.estimate) / result.standard_error,
                                       scipy_stats.t.ppf(0.5 + float(level) / 2, 7), rtol=1e-12)


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
