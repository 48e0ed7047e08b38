"""tools/cascade_stats.py on real runs of the program, and on input it must refuse."""
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import tool_runs

TOOL = "cascade_stats.py"
ONE_POINT_ROWS = ["mean x^2", "mean log|x|", "var log|x|"]


def rows_of(table):
    """{statistic: (estimate, standard error, theory, agrees)} from the printed table."""
    rows = {}
    for line in table.decode().splitlines():
        words = line.rsplit(None, 5)
        if len(words) == 6 and words[5] in ("yes", "NO"):
            rows[words[0]] = (float(words[1]), float(words[2]), float(words[3]), words[5] == "yes")
    return rows


def disagreeing(table):
    return {name for name, row in rows_of(table).items() if not row[3]}


class RealRunsTest(unittest.TestCase):
    def test_seeded_runs_agree_with_theory(self):
        # 64 cells measure their own spread; 1 cell takes it from simulation.
        for seed, lam, steps, n0 in [(11, 0, 8, 64), (12, 0.3, 8, 64), (13, 0.7, 8, 64), (14, 0.3, 10, 1)]:
            result = tool_runs.run_tool(TOOL, lam, steps, n0, stdin=tool_runs.cascade_output(seed, lam, steps, n0))
            with self.subTest(seed=seed, lam=lam, steps=steps, n0=n0):
                self.assertEqual(result.returncode, 0, result.stdout.decode())
                rows = rows_of(result.stdout)
                lags = [f"C({1 << p})" for p in range(steps + 1) if (1 << p) < n0 << steps]
                self.assertEqual(list(rows), ONE_POINT_ROWS + lags)
                self.assertEqual(disagreeing(result.stdout), set())
                self.assertIn(f"all {len(rows)} rows agree", result.stdout.decode())

    def test_gaussian_noise_presented_as_a_cascade_disagrees(self):
        noise = tool_runs.cascade_output(21, 0, 8, 64)
        result = tool_runs.run_tool(TOOL, 0.5, 8, 64, stdin=noise)
        self.assertEqual(result.returncode, 1)
        failing = disagreeing(result.stdout)
        self.assertTrue({"mean log|x|", "var log|x|", "C(1)", "C(2)"} <= failing, failing)
        self.assertIn("disagree beyond 4 standard errors: ", result.stdout.decode())

    def test_shuffled_cascade_disagrees_on_the_lag_covariance(self):
        lam, steps, n0 = 0.5, 8, 64
        values = tool_runs.cascade_values(22, lam, steps, n0)
        original = tool_runs.run_tool(TOOL, lam, steps, n0, stdin=tool_runs.as_text(values))
        np.random.default_rng(3).shuffle(values)
        shuffled = tool_runs.run_tool(TOOL, lam, steps, n0, stdin=tool_runs.as_text(values))
        self.assertEqual(original.returncode, 0)
        self.assertEqual(shuffled.returncode, 1)
        failing = disagreeing(shuffled.stdout)
        self.assertTrue({f"C({1 << p})" for p in range(5)} <= failing, failing)
        # Shuffling keeps the one-point estimates: only the order was lost.
        for name in ONE_POINT_ROWS:
            self.assertAlmostEqual(rows_of(shuffled.stdout)[name][0], rows_of(original.stdout)[name][0], places=6)


class BinaryInputTest(unittest.TestCase):
    def test_raw_doubles_give_the_same_table_as_text(self):
        text = tool_runs.cascade_output(31, 0.4, 6, 32)
        values = np.array(text.split(), dtype=np.float64)
        from_text = tool_runs.run_tool(TOOL, 0.4, 6, 32, stdin=text)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "series.f64")
            values.astype("<f8").tofile(path)
            from_file = tool_runs.run_tool(TOOL, "--binary", 0.4, 6, 32, path)
            with open(path, "rb") as stream:
                from_stdin = tool_runs.run_tool(TOOL, 0.4, 6, 32, "--binary", stdin=stream.read())
        self.assertEqual(from_text.returncode, 0)
        self.assertEqual(from_file.stdout, from_text.stdout)
        self.assertEqual(from_stdin.stdout, from_text.stdout)


class RefusedInputTest(unittest.TestCase):
    def test_unusable_command_lines_and_input_are_errors(self):
        four = b"0.5\n-1.25\n0.75\n2.0\n"
        cases = [
            (["0.5", "1", "2"], four[:-4], "expected n0 * 2^step_number = 4 values, read 3"),
            (["0.5", "2", "2"], four, "expected n0 * 2^step_number = 8 values, read 4"),
            (["--binary", "0.5", "1", "1"], bytes(12), "binary input of 12 bytes is not a whole number of 8-byte values"),
            (["0.5", "1", "2"], b"0.5\nabc\n0.75\n2.0\n", "line 2 is not one number: 'abc'"),
            (["0.5", "1", "2"], b"0.5\n1.0 2.0\n0.75\n", "line 2 is not one number: '1.0 2.0'"),
            (["0.5", "1", "2"], b"0.5\n0.000000000000000\n0.75\n2.0\n",
             "value 2 is 0.0, and 1 values in all are 0 or not finite: log|x| needs finite values other than 0 "
             "(use the program's --binary output, which keeps values that print as 0)"),
            (["0.5", "1", "2"], b"0.5\nnan\n0.75\n2.0\n", "value 2 is nan"),
            (["0.5", "1", "1", "/nonexistent/series.txt"], b"", "cannot read /nonexistent/series.txt"),
            (["0.5", "1"], four, "expected lambda step_number n0 [FILE], got 2 arguments"),
            (["half", "1", "2"], four, "lambda must be a finite decimal number, got 'half'"),
            (["0.5", "0", "2"], four, "step_number must be a whole number of at least 1, got '0'"),
            (["0.5", "1", "1.5"], four, "n0 must be a whole number of at least 1, got '1.5'"),
            (["0.5", "31", "1"], four, "n0 * 2^step_number must be at most 2147483647, got 1 * 2^31"),
            (["--text", "0.5", "1", "2"], four, "unknown option '--text'"),
        ]
        for arguments, data, message in cases:
            result = tool_runs.run_tool(TOOL, *arguments, stdin=data)
            with self.subTest(arguments=arguments):
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                first_line = result.stderr.decode().splitlines()[0]
                self.assertTrue(first_line.startswith("cascade_stats: "), first_line)
                self.assertIn(message, first_line)


class InterpreterTest(unittest.TestCase):
    def test_runs_as_a_command_and_from_a_python_without_numpy(self):
        # As a command, its first line picks the python3 on PATH, which may not
        # see Debian's numpy; and without its site packages this Python lacks
        # numpy. Either way the tool must start again under Debian's Python.
        text = tool_runs.cascade_output(41, 0.3, 6, 32)
        expected = tool_runs.run_tool(TOOL, 0.3, 6, 32, stdin=text)
        self.assertEqual(expected.returncode, 0)
        as_command = tool_runs.run_tool(TOOL, 0.3, 6, 32, stdin=text, interpreter=())
        self.assertEqual(as_command.stdout, expected.stdout)
        bare = (sys.executable, "-S")
        if subprocess.run([*bare, "-c", "import numpy"], stderr=subprocess.DEVNULL).returncode == 0:
            self.skipTest("this Python imports numpy even without its site packages")
        self.assertEqual(tool_runs.run_tool(TOOL, 0.3, 6, 32, stdin=text, interpreter=bare).stdout, expected.stdout)
