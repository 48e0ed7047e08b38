"""The check under each multiplier law: its reference draws the law's first steps
and simulates the law below them, its rows' theory is the law's, a reference of
one law is never taken for another's, and the command line's --law."""
import math
import unittest

import numpy as np

import tool_runs
import cascade
from cascade.stats import check, parse_law, theory

# Every law of the core's table, one that takes a parameter at 0.5.
LAWS = tuple(f"{name}:0.5" if row["parameter"] else name for name, row in cascade.laws().items())


def law_series(lam, steps, n0, seed, law):
    return cascade.generate(lam, steps, n0, seed, generator="philox", law=law)


class DrawnFirstStepsTest(unittest.TestCase):
    """The reference draws the factors of its first steps in numpy: they must have
    the law's cumulants and ties, or the reference of few cells is another law's."""

    def test_drawn_log_factors_have_each_laws_cumulants(self):
        sigma2, draws = 0.09, 400_000
        beta = 0.5
        mu = sigma2 / math.log(beta) ** 2
        fourth = {"lognormal": 0.0, "binomial": -2 * sigma2 ** 2, "microcanonical": -2 * sigma2 ** 2,
                  "logpoisson:0.5": mu * math.log(beta) ** 4}
        for law in LAWS:
            with self.subTest(law=law):
                d = parse_law(law).centred_log_factors(np.random.default_rng(4), sigma2, (4, draws // 4)).ravel()
                variance = np.mean(d * d)
                self.assertLess(abs(np.mean(d)), 5 * math.sqrt(sigma2 / draws))
                self.assertLess(abs(variance - sigma2), 5 * sigma2 * math.sqrt(3 / draws))
                kappa4 = np.mean(d ** 4) - 3 * variance ** 2
                # A law not written out here is held to its theory's kappa4.
                expected = fourth[law] if law in fourth else parse_law(law).log_cumulants(sigma2)[3]
                self.assertLess(abs(kappa4 - expected), 5 * sigma2 ** 2 * math.sqrt(100 / draws))
                siblings = d.reshape(-1, 2).sum(axis=1)
                if law == "microcanonical":
                    self.assertEqual(np.count_nonzero(siblings), 0)
                else:
                    self.assertGreater(np.count_nonzero(siblings), draws // 8)


class EachLawAsItselfTest(unittest.TestCase):
    def test_each_laws_series_agree_with_its_own_check_and_theory(self):
        # One cell draws its first steps; 256 cells simulate everything.
        for steps, n0 in [(12, 1), (6, 256)]:
            for law in LAWS:
                with self.subTest(law=law, shape=(steps, n0)):
                    lam = 1.0
                    result = check(law_series(lam, steps, n0, 11, law), steps, n0, lam=lam, law=law)
                    self.assertEqual(result.law, parse_law(law))
                    self.assertTrue(result.agrees, (result.disagreeing, result.law_deviation))
                    self.assertTrue(result.theory_agrees, result.theory_deviation)
                    self.assertEqual(result.drawn_steps > 0, n0 == 1)
                    exact = theory(lam, steps, n0, law=law)
                    rows = {row.name: row.theory for row in result.rows}
                    self.assertEqual(rows["mean log|x|"], exact.mean_log_magnitude)
                    self.assertEqual(rows["var log|x|"], exact.variance_log_magnitude)
                    self.assertEqual([rows[f"C({lag})"] for lag in exact.lags], list(exact.lag_covariance))

    def test_a_binomial_series_fails_the_lognormal_check_and_a_lognormal_one_the_binomial(self):
        lam, steps, n0 = 1.5, 10, 64
        for made, judged in [("binomial", "lognormal"), ("lognormal", "binomial")]:
            with self.subTest(made=made, judged=judged):
                result = check(law_series(lam, steps, n0, 3, made), steps, n0, lam=lam, law=judged)
                self.assertFalse(result.law_agrees, result.law_deviation)
                self.assertFalse(result.agrees)

    def test_a_cached_reference_serves_its_own_law_only(self):
        lam, steps, n0 = 0.8, 8, 16
        x = law_series(lam, steps, n0, 5, "binomial")
        check(x, steps, n0, lam=lam, law="lognormal", cache=True)
        cached = check(x, steps, n0, lam=lam, law="binomial", cache=True)
        fresh = check(x, steps, n0, lam=lam, law="binomial", cache=False)
        # nan-aware: rows without theory hold nan
        for field in ("threshold", "joint_threshold", "law_threshold", "law_deviation", "joint_deviation"):
            self.assertEqual(getattr(cached, field), getattr(fresh, field), field)
        np.testing.assert_array_equal([row.deviation for row in cached.rows + cached.law_rows],
                                      [row.deviation for row in fresh.rows + fresh.law_rows])
        self.assertNotEqual(cached.law_threshold, check(x, steps, n0, lam=lam, law="lognormal").law_threshold)


class CommandLineLawTest(unittest.TestCase):
    def test_law_names_the_reference_and_decides_the_status(self):
        data = tool_runs.cascade_output(3, 0.5, 12, 16, "--binary", "--generator", "philox", "--law",
                                        "microcanonical")
        for law, status in [("microcanonical", 0), ("binomial", 1)]:
            with self.subTest(law=law):
                result = tool_runs.run_module("--binary", "--law", law, "0.5", "12", "16", stdin=data)
                self.assertEqual(result.returncode, status, result.stderr)
                lines = result.stdout.decode().splitlines()
                self.assertEqual(lines[0], f"lambda = 0.5, step_number = 12, n0 = 16: 65536 values, law {law}")
                self.assertEqual(lines[-1].startswith("disagree:"), status == 1)


if __name__ == "__main__":
    unittest.main()
