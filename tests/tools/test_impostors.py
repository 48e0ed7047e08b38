"""The impostors that the check's power is measured against differ from the
program's cascade in what they claim: the log factor of one step changes its
mean or its variance from step to step, or the final deviate its law (the
other laws of a step's factor are the program's own, tested with it)."""
import math
import sys
import unittest

import numpy as np

import tool_runs

sys.path.insert(0, tool_runs.TOOLS)
import impostors  # noqa: E402

LAM, STEPS, DRAWS = 1.5, 10, 1 << 21


def cumulants(sample):
    centred = sample - sample.mean()
    variance = centred.var()
    return sample.mean(), variance, (centred ** 4).mean() - 3 * variance * variance


class ImpostorsTest(unittest.TestCase):
    def test_a_step_s_log_factor_has_the_law_it_claims(self):
        sigma2 = LAM * LAM / STEPS
        grown = 2 * LAM * LAM * 3 / (STEPS * (STEPS + 1))  # step 3 of 10
        # (log factors, step, mean, variance, fourth cumulant)
        cases = [(impostors.log_normal, 1, -sigma2, sigma2, 0.0),
                 (impostors.mean_one, 1, -sigma2 / 2, sigma2, 0.0),
                 (impostors.growing_variance, 3, -grown, grown, 0.0)]
        for log_factors, step, mean, variance, fourth in cases:
            with self.subTest(log_factors.__name__):
                sample = log_factors(np.random.default_rng(1), DRAWS, step, STEPS, LAM)
                got = cumulants(sample)
                error = 5 * math.sqrt(sigma2 ** 2 * 10 / DRAWS)
                self.assertAlmostEqual(got[0], mean, delta=5 * math.sqrt(variance / DRAWS))
                self.assertAlmostEqual(got[1], variance, delta=error)
                self.assertAlmostEqual(got[2], fourth, delta=error * 10 * sigma2)

    def test_the_student_deviate_has_variance_one_and_its_excess_kurtosis(self):
        sample = impostors.student_final(20)(np.random.default_rng(2), DRAWS)
        _, variance, fourth = cumulants(sample)
        self.assertAlmostEqual(variance, 1.0, delta=0.01)
        self.assertAlmostEqual(fourth / variance ** 2, 6 / (20 - 4), delta=0.1)


if __name__ == "__main__":
    unittest.main()
