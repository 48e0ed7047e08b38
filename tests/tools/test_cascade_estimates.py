"""Standard errors that mean what they say: on correct series the deviations
from theory, in standard errors, spread like a standard normal."""
import unittest

import numpy as np

import tool_runs
import cascade_estimates
import cascade_model


def deviations(rng, lam, steps, n0, series):
    """Each row's (estimate - theory) / standard error for `series` model runs."""
    lags = cascade_estimates.lags_checked(steps, n0 << steps)
    theory = cascade_estimates.theory_values(lam, steps, n0 << steps, lags)
    spread = cascade_estimates.reference_spread(lam, steps, n0, lags, theory)
    result = []
    for _ in range(series):
        values = cascade_model.cascade_series(rng, lam, steps, n0)
        if cascade_estimates.uses_reference(n0):
            sums, term_counts = cascade_estimates.half_cell_sums(values, lam, lags, 2 * n0)
            result.append((sums.sum(axis=1) / term_counts - theory) / (np.sqrt(spread) / term_counts))
        else:
            result.append([row.deviation for row in cascade_estimates.check_series(values, lam, steps, n0).rows])
    return np.array(result)


class CalibrationTest(unittest.TestCase):
    def test_deviations_of_model_series_are_standard(self):
        # Spread measured in the series itself (32 cells), and taken from
        # simulated series (1 and 2 cells). The mean square's estimate is
        # skewed for large lambda, so its deviations centre a little below 0.
        rng = np.random.default_rng(17)
        for lam, steps, n0 in [(0.3, 6, 32), (0.5, 8, 32), (0.5, 6, 2), (0.4, 8, 1)]:
            z = deviations(rng, lam, steps, n0, series=400)
            with self.subTest(lam=lam, steps=steps, n0=n0):
                self.assertTrue(np.all(np.abs(z.mean(axis=0)) < 0.25), z.mean(axis=0))
                self.assertTrue(np.all(np.abs(z.std(axis=0) - 1) < 0.15), z.std(axis=0))


class ProgramAgainstModelTest(unittest.TestCase):
    def test_program_spread_matches_the_model_spread(self):
        # The program's half-cells vary as much as the model's, row by row: the
        # simulated spread used for short series stands for the program's.
        lam, steps, n0 = 0.5, 7, 512
        values = tool_runs.cascade_values(1234, lam, steps, n0)
        lags = cascade_estimates.lags_checked(steps, values.size)
        theory = cascade_estimates.theory_values(lam, steps, values.size, lags)
        sums, term_counts = cascade_estimates.half_cell_sums(values, lam, lags, 2 * n0)
        measured = cascade_estimates.spread_about_theory(sums, term_counts, theory)
        simulated = cascade_estimates.reference_spread(lam, steps, n0, lags, theory)
        ratio = np.sqrt(measured / simulated)
        self.assertTrue(np.all(np.abs(ratio - 1) < 0.2), ratio)


class RowsTest(unittest.TestCase):
    def test_lags_run_to_the_cell_length_within_the_series(self):
        for steps, n0, last in [(4, 2, 16), (4, 1, 8), (1, 1, 1), (3, 5, 8)]:
            with self.subTest(steps=steps, n0=n0):
                lags = cascade_estimates.lags_checked(steps, n0 << steps)
                self.assertEqual(lags, [1 << p for p in range(len(lags))])
                self.assertEqual(lags[-1], last)


if __name__ == "__main__":
    unittest.main()
