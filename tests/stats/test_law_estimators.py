"""log_cumulants and compare_laws: against each law's theory on the program's own
series, against the same statistic written out directly in numpy, and their refusals."""
import math
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
import cascade
from refusal_tables import assert_refusals
from cascade.stats import UncheckableSeries, compare_laws, log_cumulants, theory

LAWS = tuple(cascade.laws())


def targets(lam, steps, n0, law):
    exact = theory(lam, steps, n0, law=law)
    tie = exact.law.sibling_log_correlation * exact.step_variance
    return np.array([exact.log_cumulants[1], exact.log_cumulants[2], exact.log_cumulants[3], tie])


def direct_estimates(x, steps, cells):
    """The estimator written out pair by pair: for boxes of 2^m values (m = 0 .. n - 2), the
    log-energies y about their mean over all boxes of that length, and for each partner
    distance p the pairs (i, i + 2^p) of one cell with bit p of i clear, which share
    k = n - m - 1 - p steps; then the line cum_r / 2^r = kappa_r k + t_r through all of them."""
    cell_length = 1 << steps
    ks, cumulants = [], []
    for m in range(steps - 1):
        energies = np.array([[np.sum(x[c * cell_length + b * (1 << m):c * cell_length + (b + 1) * (1 << m)] ** 2)
                              for b in range(cell_length >> m)] for c in range(cells)])
        y = np.log(energies)
        y = y - y.mean()
        v = np.mean(y * y)
        for p in range(steps - m):
            firsts = [i for i in range(cell_length >> m) if not i & (1 << p)]
            a = y[:, firsts].ravel()
            b = y[:, [i + (1 << p) for i in firsts]].ravel()
            c2 = np.mean(a * b)
            c3 = np.mean(a * a * b + a * b * b) / 2
            c4 = np.mean(a * a * b * b) - v * v - 2 * c2 * c2
            ks.append(steps - m - 1 - p)
            cumulants.append([c2 / 4, c3 / 8, c4 / 16])
    cumulants = np.array(cumulants)
    lines = [np.polyfit(ks, cumulants[:, r], 1) for r in range(3)]
    return np.array([lines[0][0], lines[1][0], lines[2][0], lines[0][1]])


class DirectComputationTest(unittest.TestCase):
    """The estimates and their jackknife errors are those of the numpy computation above."""

    def test_estimates_and_errors_equal_the_direct_computation(self):
        for law, lam, steps, n0, realizations in [("binomial", 1.1, 4, 16, 1), ("logpoisson", 0.7, 5, 9, 2),
                                                  ("microcanonical", 1.5, 3, 20, 1)]:
            cells = n0 * realizations
            x = cascade.generate(lam, steps, cells, 11, generator="philox", law=law)
            found = log_cumulants(x.reshape(realizations, -1), steps, n0, realizations=realizations)
            direct = direct_estimates(x, steps, cells)
            cell_length = 1 << steps
            left_out = np.array([direct_estimates(np.delete(x, np.s_[c * cell_length:(c + 1) * cell_length]),
                                                  steps, cells - 1) for c in range(cells)])
            errors = np.sqrt((cells - 1) / cells * ((left_out - left_out.mean(axis=0)) ** 2).sum(axis=0))
            with self.subTest(law=law, steps=steps, cells=cells):
                np.testing.assert_allclose(found.estimates, direct, rtol=1e-9, atol=1e-12)
                np.testing.assert_allclose(found.standard_errors, errors, rtol=1e-7, atol=1e-12)
                self.assertAlmostEqual(found.lam, math.sqrt(steps * direct[0]), places=9)
                np.testing.assert_allclose(found.theories[law], targets(found.lam, steps, n0, law), rtol=1e-12)


class AgreesWithTheoryTest(unittest.TestCase):
    """An ensemble of 8 series of 64 x 2^8 of each law (1024 independent cells, fixed
    philox seeds): every estimate within 4 standard errors of its law's value, and every
    other law whose values lie more than 5 of them away refused."""

    def test_each_law_estimates_its_own_cumulants(self):
        lam, steps, n0, realizations = 1.2, 8, 64, 8
        for law in LAWS:
            series = np.stack([cascade.generate(lam, steps, n0, 500 + seed, generator="philox", law=law)
                               for seed in range(realizations)])
            found = log_cumulants(series, steps, n0, realizations=realizations)
            z = (found.estimates - targets(lam, steps, n0, law)) / found.standard_errors
            with self.subTest(law=law, z=z.round(2).tolist()):
                self.assertEqual(found.cells, n0 * realizations)
                self.assertTrue(np.all(np.abs(z) < 4.0))
                # Laws apart by far more than the errors must be told apart (lognormal and binomial
                # differ in kappa4 alone; at this size, by many errors).
                apart = [other for other in LAWS if np.max(np.abs(
                    (targets(lam, steps, n0, other) - targets(lam, steps, n0, law)) / found.standard_errors)) > 5.0]
                comparison = compare_laws(series, lam, steps, n0, realizations=realizations)
                self.assertEqual([row.law for row in comparison], list(LAWS))
                agreeing = comparison.agreeing
                self.assertIn(law, agreeing)
                self.assertEqual([other for other in apart if other in agreeing], [])
                pair = {"lognormal": "binomial", "binomial": "lognormal"}
                if law in pair:
                    self.assertIn(pair[law], apart)


class TellsLawsApartTest(unittest.TestCase):
    def test_one_binomial_series_of_64_cells_is_not_lognormal(self):
        # At 64 x 2^10 and lambda 1.5 kappa4 = -0.10 against 0, about 4 standard errors: a single
        # binomial series refuses the log-normal law in most seeds (the rate is in docs/laws.md).
        x = cascade.generate(1.5, 10, 64, 1, generator="philox", law="binomial")
        comparison = compare_laws(x, 1.5, 10, 64)
        rows = {row.law: row for row in comparison}
        self.assertTrue(rows["binomial"].agrees)
        self.assertFalse(rows["lognormal"].agrees)
        self.assertGreaterEqual(abs(rows["lognormal"].z[2]), 3.0)  # refused by kappa4
        self.assertIn("binomial", comparison.agreeing)
        self.assertNotIn("lognormal", comparison.agreeing)
        np.testing.assert_allclose(rows["lognormal"].theory, targets(1.5, 10, 64, "lognormal"), rtol=1e-12)
        np.testing.assert_allclose(rows["binomial"].z, (rows["binomial"].estimate - rows["binomial"].theory)
                                   / rows["binomial"].standard_error)

    def test_one_law_by_its_name_alone_is_that_law(self):
        x = cascade.generate(1.0, 4, 16, 3, generator="philox", law="binomial")
        alone, listed = compare_laws(x, 1.0, 4, 16, laws="binomial"), compare_laws(x, 1.0, 4, 16, laws=["binomial"])
        self.assertEqual([row.law for row in alone], ["binomial"])
        np.testing.assert_array_equal(alone.rows[0].z, listed.rows[0].z)

    def test_a_law_with_another_beta_is_named_by_it(self):
        x = cascade.generate(1.5, 10, 64, 1, generator="philox", law="logpoisson:0.5")
        comparison = compare_laws(x, 1.5, 10, 64, laws=["logpoisson:0.5", "logpoisson"])
        self.assertEqual([row.law for row in comparison], ["logpoisson:0.5", "logpoisson"])
        self.assertTrue(comparison.rows[0].agrees)
        self.assertAlmostEqual(comparison.rows[0].theory[1], 0.225 * math.log(0.5), places=12)


class RefusalTest(unittest.TestCase):
    def test_refusals(self):
        good = cascade.generate(1.0, 4, 16, 3, generator="philox")
        cases = [
            ("text for values", lambda: log_cumulants("abc", 4, 16), ValueError, "abc"),
            ("step_number a float", lambda: log_cumulants(good, 4.0, 16), TypeError, "step_number"),
            ("n0 a str", lambda: log_cumulants(good, 4, "16"), TypeError, "n0"),
            ("realizations a float", lambda: log_cumulants(good, 4, 16, realizations=1.0), TypeError,
             "realizations"),
            ("too few cells", lambda: log_cumulants(good[:15 * 16], 4, 15), ValueError, "15 * 1 = 15"),
            ("too few cells in all realizations", lambda: log_cumulants(good[:8 * 16].reshape(2, -1), 4, 4),
             ValueError, "4 * 2 = 8"),
            ("one step", lambda: log_cumulants(good, 1, 128), ValueError, "at least 2"),
            ("wrong length", lambda: log_cumulants(good[:-1], 4, 16), ValueError, "255"),
            ("not finite", lambda: log_cumulants(np.where(np.arange(256) == 7, np.nan, good), 4, 16), ValueError,
             "finite"),
            ("a box of energy 0", lambda: log_cumulants(np.where(np.arange(256) == 7, 0.0, good), 4, 16),
             UncheckableSeries, "energy 0"),
            ("cells all alike", lambda: log_cumulants(np.tile(good[:16], 16), 4, 16), UncheckableSeries, "no spread"),
            ("lambda a str", lambda: compare_laws(good, "1.0", 4, 16), TypeError, "lambda"),
            ("lambda not finite", lambda: compare_laws(good, math.inf, 4, 16), ValueError, "inf"),
            ("unknown law", lambda: compare_laws(good, 1.0, 4, 16, laws=["cauchy"]), ValueError, "cauchy"),
            ("law not a str", lambda: compare_laws(good, 1.0, 4, 16, laws=[3]), TypeError, "int"),
            ("no laws", lambda: compare_laws(good, 1.0, 4, 16, laws=[]), ValueError, "laws must name at least one law"),
            ("laws a number", lambda: compare_laws(good, 1.0, 4, 16, laws=3), TypeError,
             "laws must be a law or a list of laws, got int 3"),
        ]
        assert_refusals(self, cases)


if __name__ == "__main__":
    unittest.main()
