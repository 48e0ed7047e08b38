"""Each result's .plot(): drawn under Agg, its lines hold the result's own numbers, and
matplotlib is imported only when a picture is asked for."""
import os
import subprocess
import sys
import unittest

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import tool_runs  # noqa: E402,F401  (puts the package on the path, and the cache in a folder of its own)
import cascade  # noqa: E402
from cascade import stats  # noqa: E402

LAM, STEPS, N0, K = 0.4, 8, 8, 4
X = cascade.generate_ensemble(LAM, STEPS, N0, range(1, K + 1), generator="philox", law="binomial")
SHAPE = dict(lam=LAM, law="binomial", realizations=K)
Q, SCALES, LAGS = np.array([1.0, 2.0, 4.0]), np.array([2, 4, 8, 16]), np.array([1, 2, 4, 16, 64])


def lines_of_lag_covariance(r):
    x = np.log(LAGS)
    return [("estimate", x, r.estimate, r.low, r.high), ("theory", x, r.theory)]


def lines_of_structure_functions(r):
    x = np.log(SCALES)
    found = []
    for row, q in enumerate(Q):
        found.append((f"estimate q={q:g}", x, np.log(r.estimate[row]), np.log(r.low[row]), np.log(r.high[row])))
        if np.isfinite(r.theory[row]).all():
            found.append((f"theory q={q:g}", x, np.log(r.theory[row])))
        found.append((f"fit q={q:g}", x, np.polyval(np.polyfit(x, np.log(r.estimate[row]), 1), x)))
    return found


def lines_of_scaling_exponents(r):
    return [("estimate", Q, r.estimate - Q / 2, r.low - Q / 2, r.high - Q / 2), ("theory", Q, r.theory - Q / 2),
            ("finite size", Q, r.finite_size - Q / 2)]


def lines_of_log_cumulants(r):
    at = np.arange(4.0)
    return ([("estimate", at, np.array(r.estimate), np.array(r.low), np.array(r.high))]
            + [(f"law {law}", at + 0.08 * (n + 1), np.array(values))
               for n, (law, values) in enumerate(r.theories.items())])


def lines_of_compare_laws(r):
    return [(f"z {row.law}", np.arange(4.0) + 0.08 * n, np.array(row.z)) for n, row in enumerate(r.rows)]


def lines_of_check(r):
    return [("deviation", np.arange(float(len(r.rows))), np.array([row.deviation for row in r.rows]))]


# The result, the lines it must draw (gid, x, y[, low, high]) and the thresholds (None: none).
PLOTS = {
    "lag_covariance": (lambda: stats.lag_covariance(X, STEPS, N0, LAGS, **SHAPE), lines_of_lag_covariance, None),
    "structure_functions": (lambda: stats.structure_functions(X, STEPS, N0, Q, SCALES, **SHAPE),
                            lines_of_structure_functions, None),
    "scaling_exponents": (lambda: stats.scaling_exponents(X, STEPS, N0, Q, SCALES, **SHAPE),
                          lines_of_scaling_exponents, None),
    "log_cumulants": (lambda: stats.log_cumulants(X, STEPS, N0, **SHAPE), lines_of_log_cumulants, None),
    "compare_laws": (lambda: stats.compare_laws(X, STEPS, N0, lam=LAM, realizations=K), lines_of_compare_laws,
                     lambda r: 3.0),
    "check": (lambda: stats.check(X, STEPS, N0, **SHAPE), lines_of_check, lambda r: r.threshold),
}


class PlotTest(unittest.TestCase):
    def test_each_picture_draws_the_result_s_numbers(self):
        for name, (make, expected_lines, threshold) in PLOTS.items():
            with self.subTest(name):
                result = make()
                figure, given = plt.subplots()
                ax = result.plot(ax=given)
                self.assertIs(ax, given)
                drawn = {line.get_gid(): line for line in ax.lines}
                for gid, x, y, *interval in expected_lines(result):
                    np.testing.assert_allclose(drawn[gid].get_xdata(), x, rtol=1e-12, err_msg=gid)
                    np.testing.assert_allclose(drawn[gid].get_ydata(), y, rtol=1e-12, err_msg=gid)
                    if interval:
                        [bars] = [c for c in ax.collections if c.get_gid() == f"{gid} interval"]
                        ends = np.array([segment[:, 1] for segment in bars.get_segments()])
                        np.testing.assert_allclose(ends, np.stack(interval, axis=-1), rtol=1e-12, err_msg=gid)
                if threshold:
                    limits = sorted(line.get_ydata()[0] for line in ax.lines if line.get_gid() == "threshold")
                    self.assertEqual(limits, [-threshold(result), threshold(result)])
                title = ax.get_title()
                self.assertIn("model dyadic", title)
                self.assertTrue("binomial" in title or name in ("log_cumulants", "compare_laws"), title)
                self.assertTrue(ax.get_xlabel() or ax.get_xticklabels(), name)
                self.assertTrue(ax.get_ylabel(), name)
                figure.canvas.draw()
                plt.close(figure)

    def test_without_an_axes_a_new_figure_is_drawn(self):
        result = PLOTS["log_cumulants"][0]()
        ax = result.plot(color="red")
        self.assertIsNotNone(ax.figure)
        self.assertIn(ax.figure.number, plt.get_fignums())
        plt.close(ax.figure)

    def test_matplotlib_is_imported_only_by_a_picture(self):
        program = ("import sys, cascade, cascade.stats as s\n"
                   "x = cascade.generate(0.4, 6, 16, seed=1, generator='philox')\n"
                   "r = s.log_cumulants(x, 6, 16)\n"
                   "print('matplotlib' in sys.modules)\n"
                   "r.plot()\n"
                   "print('matplotlib' in sys.modules)\n")
        run = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=120,
                             env={**os.environ, "MPLBACKEND": "Agg"})
        self.assertEqual((run.returncode, run.stdout, run.stderr), (0, "False\nTrue\n", ""))


if __name__ == "__main__":
    unittest.main()
