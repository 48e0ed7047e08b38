"""The scripts behind the tables of docs/statistics.md run, on small shapes and a few seeds."""
import glob
import os
import re
import subprocess
import sys
import unittest
from unittest import mock

import tool_runs

sys.path.insert(0, tool_runs.TOOLS)
import measurement  # noqa: E402
import measure_coverage  # noqa: E402
import measure_lambda_coverage  # noqa: E402
import measure_false_failures  # noqa: E402
import measure_power  # noqa: E402
import measure_law_power  # noqa: E402
import law_distance  # noqa: E402
import impostors  # noqa: E402
import cascade  # noqa: E402

SEEDS = 3
SHARE = re.compile(r"\d+\.\d% \((\d+)/(\d+)\)")


class MeasurementScriptsTest(unittest.TestCase):
    def shares(self, line, columns, seeds=SEEDS):
        self.assertEqual(len(line), 1 + columns, line)
        counts = []
        for cell in line[1:]:
            match = SHARE.fullmatch(cell)
            self.assertIsNotNone(match, cell)
            self.assertEqual(int(match[2]), seeds)
            counts.append(int(match[1]))
        return counts

    @mock.patch.object(measurement, "SHAPES", [(6, 32), (6, 1)])
    @mock.patch.object(measurement, "ENSEMBLE", (6, 1, 3))
    def test_every_table_has_a_line_per_shape_and_a_share_per_column(self):
        lines = list(measure_false_failures.lines(SEEDS, SEEDS, 1, shapes=[(6, 32), (6, 1)]))
        self.assertEqual([line[0] for line in lines], ["32 × 2^6", "1 × 2^6"])
        for line in lines:
            self.shares(line, len(measure_false_failures.LAMBDAS))
        columns = [(6, 32, 1.5), (6, 1, 0.5)]
        lines = list(measure_power.lines(SEEDS, columns))
        names = [line[0] for line in lines]
        self.assertEqual(names, [name for name, _ in impostors.IMPOSTORS])
        caught = {line[0]: self.shares(line, len(columns)) for line in lines}
        # Even 32 short cells tell noise from a cascade of lambda 1.5.
        self.assertEqual(caught["noise as λ"][0], SEEDS)
        # Only 32 cells are enough for a jackknife; the others' intervals simulate, for 1 seed.
        lines = list(measure_coverage.lines(SEEDS, 1))
        for line in lines:
            self.shares(line, len(measure_coverage.LAMBDAS), SEEDS if line[0] == "32 × 2^6" else 1)

    def test_the_law_tables_have_a_line_per_law_and_their_diagonal_is_the_false_failures(self):
        laws = ("lognormal", "microcanonical")
        lines = list(measure_false_failures.lines(SEEDS, SEEDS, 1, shapes=[(6, 32)], lambdas=(1.5,), laws=laws))
        self.assertEqual([line[:2] for line in lines], [[law, "32 × 2^6"] for law in laws])
        lines = list(measure_law_power.lines(SEEDS, (1.5,), laws, shape=(6, 32)))
        self.assertEqual([line[:2] for line in lines], [["1.5", law] for law in laws])
        caught = [self.shares(line[1:], len(laws)) for line in lines]
        # The microcanonical tie shows at once: each law's check catches the other's series.
        self.assertEqual([caught[0][1], caught[1][0]], [SEEDS, SEEDS])
        rows, shift, threshold = law_distance.distances("lognormal", "microcanonical", 1.5, 6, 32)
        self.assertEqual([name for name, _ in rows], [f"K({2 ** k})" for k in range(6)])
        self.assertGreater(abs(shift), threshold)

    def test_lambda_s_table_reads_each_law_by_its_theory_and_the_microcanonical_also_as_lognormal(self):
        seeds = range(1, 201)
        lines = list(measure_lambda_coverage.lines(seeds, shapes=[(1.0, 6, 16)]))
        self.assertEqual([line[2:4] for line in lines],
                         [[law, reading] for law in cascade.laws()
                          for reading in ([law, "lognormal"] if law == "microcanonical" else [law])])
        for line in lines:
            [held] = self.shares([line[0]] + line[-1:], 1, len(seeds))
            # 95% intervals of a jackknife over 32 half-cells: a law read by its own theory holds
            # lambda in about 95% of 200 seeds (a standard error of 1.5%).
            if line[2] == line[3]:
                self.assertGreaterEqual(held, 180, line)

    def test_help_prints_usage_and_measures_nothing(self):
        for script in sorted(glob.glob(os.path.join(tool_runs.TOOLS, "measure_*.py"))):
            with self.subTest(script=os.path.basename(script)):
                # A measurement takes minutes to hours; its help must not wait for one.
                result = subprocess.run([sys.executable, script, "--help"], capture_output=True, timeout=50)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertTrue(result.stdout.startswith(b"usage: "), result.stdout[:200])
                self.assertIn(b"--seeds", result.stdout)


if __name__ == "__main__":
    unittest.main()
