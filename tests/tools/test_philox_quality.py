"""The philox stream's values at lambda = 0 against what they must be:
independent standard normal deviates. Independence at lags 1 to 100 by
Ljung-Box, the law by Kolmogorov-Smirnov and Anderson-Darling (scipy's),
and the fault that the stream exists to mend, seen in the subtractive
stream with the same statistic. Fixed seeds: the verdicts repeat exactly."""
import sys
import unittest

import numpy as np
from scipy import stats

from tool_runs import CASCADE, TOOLS, cascade_output

sys.path.insert(0, TOOLS)
import lag_correlation  # noqa: E402


class PhiloxAtLambdaZero(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        series = {generator: [lag_correlation.series(CASCADE, generator, seed) for seed in lag_correlation.SEEDS]
                  for generator in ("subtractive", "philox")}
        cls.values = np.concatenate(series["philox"])
        cls.correlations = {(name, generator): lag_correlation.lag_correlations(rows, transform=transform)
                            for name, transform in lag_correlation.TRANSFORMS.items()
                            for generator, rows in series.items()}
        cls.ljung_box = {generator: lag_correlation.ljung_box(*cls.correlations["x", generator])
                         for generator in series}
        cls.magnitudes = {(name, generator): lag_correlation.ljung_box(*cls.correlations[name, generator])
                          for name in ("log|x|", "x²") for generator in series}

    def test_no_correlation_at_lags_1_to_100(self):
        _, p = self.ljung_box["philox"]
        self.assertGreater(p, 0.01, "philox fails Ljung-Box over lags 1-100 at 1% on 4 x 2^22 values")

    def test_the_subtractive_stream_shows_its_lag_structure(self):
        _, p = self.ljung_box["subtractive"]
        self.assertLess(p, 1e-20, "the subtractive stream's lag correlations no longer show: is it still the same?")

    def test_magnitudes_are_clean_in_philox_and_correlated_in_the_subtractive_stream(self):
        # What estimators of the scaling use: the default stream's fault shows in them too.
        for name in ("log|x|", "x²"):
            with self.subTest(name=name):
                self.assertGreater(self.magnitudes[name, "philox"][1], 0.01)
                self.assertLess(self.magnitudes[name, "subtractive"][1], 1e-20)

    def test_the_covariance_of_log_magnitudes_at_lags_30_to_59(self):
        # In the units of C(l), which the estimators of the scaling measure: the default
        # stream's bias there is many standard errors, philox's is noise.
        for generator, low, high in [("subtractive", 10.0, np.inf), ("philox", 0.0, 4.0)]:
            with self.subTest(generator=generator):
                r, n = self.correlations["log|x|", generator]
                z, lag, covariance, error = lag_correlation.window(r, n, np.pi ** 2 / 8)
                self.assertEqual(n, 4 << 22)
                self.assertAlmostEqual(error, np.pi ** 2 / 8 / 4096, places=12)
                self.assertAlmostEqual(covariance, abs(r[lag - 1]) * np.pi ** 2 / 8, places=12)
                self.assertTrue(30 <= lag <= 59 and low < z < high, (generator, z, lag))
                self.assertAlmostEqual(z, covariance / error, places=9)
                self.assertEqual(covariance, np.abs(r[29:59]).max() * np.pi ** 2 / 8)

    def test_the_values_are_standard_normal(self):
        self.assertEqual(self.values.size, 4 << 22)
        self.assertGreater(stats.kstest(self.values, "norm").pvalue, 0.01)
        anderson = stats.anderson(self.values[: 1 << 20], "norm")  # its table tops out; 2^20 values are plenty
        self.assertLess(anderson.statistic, anderson.critical_values[-1])  # within the 1% point
        self.assertAlmostEqual(self.values.mean(), 0.0, delta=4 / np.sqrt(self.values.size))
        self.assertAlmostEqual(self.values.var(), 1.0, delta=4 * np.sqrt(2 / self.values.size))


class PhiloxAgainstItsDefinition(unittest.TestCase):
    """tools/philox_plain.py, the stream written plainly in pure Python,
    against the program: the definition in docs/reproducibility.md is the one it runs."""

    def test_the_program_is_the_definition(self):
        import philox_plain

        for seed, lam, steps, n0, bounds in [(0, 0.0, 3, 1, None), (2**63 + 1, 2.5, 6, 3, (17, 150)),
                                              (123, 0.4, 20, 1, (524285, 524291))]:
            start, stop = bounds or (0, n0 << steps)
            words = ["--generator", "philox", "--binary"] + (["--range", f"{start}:{stop}"] if bounds else [])
            values = np.frombuffer(cascade_output(seed, lam, steps, n0, *words), "<f8")
            expected, _ = philox_plain.series(seed, lam, steps, n0, start, stop)
            self.assertEqual(values.tobytes(), np.array(expected).tobytes(), (seed, lam, steps, n0, bounds))


if __name__ == "__main__":
    unittest.main()
