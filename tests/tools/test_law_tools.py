"""tools/plot_laws.py and tools/measure_law_coverage.py: what they measure, on small runs."""
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import tool_runs

sys.path.insert(0, tool_runs.TOOLS)
import measure_law_coverage  # noqa: E402
import plot_laws  # noqa: E402

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
SHARE = re.compile(r"\d+\.\d% \((\d+)/(\d+)\)")


def run_tool(*words):
    return subprocess.run([sys.executable, os.path.join(tool_runs.TOOLS, "plot_laws.py"), *words],
                          capture_output=True, timeout=50)


class MeasuredZetaTest(unittest.TestCase):
    def test_a_deterministic_binomial_measure_gives_its_exact_exponents(self):
        # Every left child's factor a, every right one's b, a^2 + b^2 = 2, no noise: a box k steps
        # down has e = W_k^2 exactly, and the mean of e^(q/2) over its level is ((a^q + b^q)/2)^k.
        steps, n0 = 9, 3
        for a in (1.2, 0.7):
            b = math.sqrt(2.0 - a * a)
            bits = (np.arange(1 << steps)[:, None] >> np.arange(steps)[None, :]) & 1
            weights = np.prod(np.where(bits == 1, b, a), axis=1)
            values = np.tile(weights, n0)
            expected = -np.log2((a ** plot_laws.ORDERS + b ** plot_laws.ORDERS) / 2)
            with self.subTest(a=a):
                np.testing.assert_allclose(plot_laws.measured_zeta(values, steps, n0), expected, atol=1e-10)


class PlotLawsTest(unittest.TestCase):
    def test_draws_the_picture_and_says_where(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "laws.png")
            result = run_tool("--step-number", "7", "--n0", "4", "--seed", "5", "--output", path)
            self.assertEqual((result.returncode, result.stderr), (0, b""))
            self.assertEqual(result.stdout, f"wrote {path}\n".encode())
            with open(path, "rb") as stream:
                self.assertEqual(stream.read(8), PNG_SIGNATURE)

    def test_what_cannot_be_drawn_is_one_line_and_status_2(self):
        with tempfile.TemporaryDirectory() as folder:
            cases = [(["--seed", "-1"], b"--seed must be a whole number from 0 to"),
                     (["--lambda", "nan"], b"--lambda must be a number from 0.0 to 4.0, got 'nan'"),
                     (["--step-number", "3"], b"--step-number must be a whole number from 6 to 20, got '3'"),
                     (["--output", os.path.join(folder, "no", "laws.png")], b"does not exist"),
                     (["--output", os.path.join(folder, "laws.xyz")], b"unknown picture format 'xyz'"),
                     (["--colour"], b"unrecognized arguments: --colour")]
            for words, message in cases:
                with self.subTest(words=words):
                    result = run_tool("--step-number", "7", "--n0", "2", *words)
                    self.assertEqual(result.returncode, 2)
                    self.assertEqual(result.stdout, b"")
                    self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                    self.assertIn(message, result.stderr)
            self.assertEqual(os.listdir(folder), [])

    def test_help_describes_every_option_and_its_default(self):
        result = run_tool("--help")
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        for option in (b"--seed", b"--lambda", b"--step-number", b"--n0", b"--output", b"default: 1.5"):
            self.assertIn(option, result.stdout)


class MeasureLawCoverageTest(unittest.TestCase):
    def test_a_line_per_law_and_a_share_per_column(self):
        shape, seeds = (1.5, 8, 64), range(1, 4)
        coverage, bias, agreement = measure_law_coverage.lines(seeds, shape)
        for lines, columns in [(coverage, measure_law_coverage.ESTIMATES), (agreement, measure_law_coverage.LAWS)]:
            self.assertEqual([line[0] for line in lines], list(measure_law_coverage.LAWS))
            for line in lines:
                self.assertEqual(len(line), 1 + len(columns))
                for cell in line[1:]:
                    match = SHARE.fullmatch(cell)
                    self.assertIsNotNone(match, cell)
                    self.assertEqual(int(match[2]), len(seeds))
        self.assertEqual([len(line) for line in bias], [1 + len(measure_law_coverage.ESTIMATES)] * 4)
        agreement = {line[0]: line[1:] for line in agreement}
        # The microcanonical series' tie, -sigma^2 = -0.28 here, is many errors from the lognormal's 0.
        self.assertTrue(agreement["microcanonical"][0].startswith("0.0% (0/3)"))


if __name__ == "__main__":
    unittest.main()
