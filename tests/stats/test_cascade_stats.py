"""The check's command line (tools/cascade_stats.py, python3 -m cascade.stats) on
real runs of the program, on ensembles and planted zeros, and on input it must refuse."""
import importlib.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import tool_runs
from law_words import law_choices

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
        # Large lambdas too, where the mean square rests on a few huge values.
        for seed, lam, steps, n0 in [(11, 0, 8, 64), (12, 0.3, 8, 64), (13, 0.7, 8, 64), (14, 0.3, 10, 1),
                                     (15, 2.0, 8, 64), (16, 3.0, 10, 4)]:
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
        self.assertIn("disagree: mean log|x|, ", result.stdout.decode())

    def test_shuffled_cascade_disagrees_on_the_lag_covariance(self):
        lam, steps, n0 = 0.5, 8, 64
        values = tool_runs.cascade_values(22, lam, steps, n0)
        original = tool_runs.run_tool(TOOL, lam, steps, n0, stdin=tool_runs.as_text(values))
        np.random.default_rng(3).shuffle(values)
        shuffled = tool_runs.run_tool(TOOL, lam, steps, n0, stdin=tool_runs.as_text(values))
        self.assertEqual(original.returncode, 0)
        self.assertEqual(shuffled.returncode, 1)
        failing = disagreeing(shuffled.stdout)
        self.assertTrue({f"C({1 << p})" for p in range(4)} <= failing, failing)
        self.assertIn("disagree: C(1), C(2), C(4), C(8)", shuffled.stdout.decode())
        self.assertRegex(shuffled.stdout.decode(), r"\njointly +[0-9.]+  NO\n")
        # Shuffling keeps the one-point estimates: only the order was lost.
        for name in ONE_POINT_ROWS:
            self.assertAlmostEqual(rows_of(shuffled.stdout)[name][0], rows_of(original.stdout)[name][0], places=6)


class BinaryInputTest(unittest.TestCase):
    def test_raw_doubles_give_the_rows_of_text(self):
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
        self.assertEqual(from_file.stdout, from_stdin.stdout)
        # Text is judged against references rounded as text is; the estimates are the same.
        for name, row in rows_of(from_text.stdout).items():
            self.assertEqual(rows_of(from_file.stdout)[name][0], row[0], name)


class ZerosTest(unittest.TestCase):
    def test_planted_zeros_leave_the_log_rows_and_the_rest_is_checked(self):
        lam, steps, n0 = 0.4, 8, 16
        values = tool_runs.cascade_values(51, lam, steps, n0)
        planted = values.copy()
        planted[[3, 700, 701, 4000]] = 0.0
        clean = tool_runs.run_tool(TOOL, "--binary", lam, steps, n0, stdin=values.astype("<f8").tobytes())
        result = tool_runs.run_tool(TOOL, "--binary", lam, steps, n0, stdin=planted.astype("<f8").tobytes())
        self.assertEqual(result.returncode, 0, result.stdout.decode() + result.stderr.decode())
        self.assertIn("left out of the log|x| rows: 4 values that are exactly 0", result.stdout.decode())
        self.assertNotIn("left out", clean.stdout.decode())
        kept = planted[planted != 0]
        self.assertAlmostEqual(rows_of(result.stdout)["mean log|x|"][0], np.log(np.abs(kept)).mean(), places=6)
        self.assertAlmostEqual(rows_of(result.stdout)["mean x^2"][0], (planted ** 2).mean(), places=6)

    def test_text_printed_as_zero_is_left_out_too(self):
        data = tool_runs.as_text(tool_runs.cascade_values(52, 0.3, 6, 32))
        lines = data.splitlines(keepends=True)
        lines[10] = b"0.000000000000000\n"
        lines[11] = b"-0.000000000000000\n"
        result = tool_runs.run_tool(TOOL, 0.3, 6, 32, stdin=b"".join(lines))
        self.assertEqual(result.returncode, 0, result.stdout.decode() + result.stderr.decode())
        self.assertIn("2 values that are exactly 0 or printed as 0", result.stdout.decode())

    def test_nothing_but_zeros_is_refused(self):
        result = tool_runs.run_tool(TOOL, "--binary", 0.3, 2, 1, stdin=bytes(32))
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, b"")
        self.assertIn("cascade_stats: no terms are left for mean log|x|", result.stderr.decode())


class EnsembleTest(unittest.TestCase):
    def test_files_and_realizations_are_one_ensemble(self):
        lam, steps, n0, seeds = 0.5, 6, 4, (61, 62, 63)
        series = [tool_runs.cascade_output(seed, lam, steps, n0, "--binary") for seed in seeds]
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for seed, data in zip(seeds, series):
                paths.append(os.path.join(folder, f"run{seed}.f64"))
                with open(paths[-1], "wb") as stream:
                    stream.write(data)
            from_files = tool_runs.run_tool(TOOL, "--binary", lam, steps, n0, *paths)
        from_stream = tool_runs.run_tool(TOOL, "--binary", "--realizations", 3, lam, steps, n0,
                                         stdin=b"".join(series))
        as_one_series = tool_runs.run_tool(TOOL, "--binary", lam, steps, 3 * n0, stdin=b"".join(series))
        self.assertEqual(from_files.returncode, 0, from_files.stderr.decode())
        self.assertEqual(from_files.stdout, from_stream.stdout)
        self.assertIn("3 realizations (768 in all)", from_files.stdout.decode())
        # Independent realizations are independent cells: the rows of one series of 3 n0 cells.
        self.assertEqual(rows_of(from_files.stdout), rows_of(as_one_series.stdout))

    def test_an_ensemble_catches_what_one_series_cannot(self):
        # Gaussian noise presented as lambda 0.3 in one cell of 2^8 passes; twenty of them do not.
        noise = [tool_runs.cascade_output(seed, 0, 8, 1, "--binary") for seed in range(70, 90)]
        alone = tool_runs.run_tool(TOOL, "--binary", 0.3, 8, 1, stdin=noise[0])
        together = tool_runs.run_tool(TOOL, "--binary", "--realizations", 20, 0.3, 8, 1, stdin=b"".join(noise))
        self.assertEqual(alone.returncode, 0, alone.stdout.decode())
        self.assertEqual(together.returncode, 1, together.stdout.decode())


class EstimateTest(unittest.TestCase):
    def test_the_interval_holds_lambda_and_narrows_with_the_ensemble(self):
        for lam in (0.0, 0.5, 1.2):
            one = tool_runs.run_tool(TOOL, "--binary", "--estimate", 10, 64,
                                     stdin=tool_runs.cascade_output(81, lam, 10, 64, "--binary"))
            four = tool_runs.run_tool(TOOL, "--binary", "--estimate", "--realizations", 4, 10, 64,
                                      stdin=tool_runs.cascade_output(82, lam, 10, 256, "--binary"))
            with self.subTest(lam=lam):
                self.assertEqual(one.returncode, 0, one.stderr.decode())
                widths = []
                for result in (one, four):
                    low, high = interval_of(result.stdout)
                    self.assertLessEqual(low, lam)
                    self.assertGreaterEqual(high, lam)
                    widths.append(high - low)
                if lam > 0:
                    self.assertLess(widths[1], 0.75 * widths[0])

    def test_from_one_short_cell_the_spread_comes_from_simulation(self):
        result = tool_runs.run_tool(TOOL, "--binary", "--estimate", 8, 1,
                                    stdin=tool_runs.cascade_output(83, 0.6, 8, 1, "--binary"))
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertIn("simulated at the estimate", result.stdout.decode())
        low, high = interval_of(result.stdout)
        self.assertLess(low, 0.6)
        self.assertGreater(high, 0.6)


def interval_of(output):
    words = output.decode().split("95% confidence interval ")[1].split()
    return float(words[0]), float(words[2])


class RefusedInputTest(unittest.TestCase):
    def test_unusable_command_lines_and_input_are_errors(self):
        four = b"0.5\n-1.25\n0.75\n2.0\n"
        cases = [
            (["0.5", "1", "2"], four[:-4], "standard input: expected n0 * 2^step_number = 4 values, read 3"),
            (["0.5", "2", "2"], four, "expected n0 * 2^step_number = 8 values, read 4"),
            (["--binary", "0.5", "1", "1"], bytes(12), "binary input of 12 bytes is not a whole number of 8-byte values"),
            (["0.5", "1", "2"], b"0.5\nabc\n0.75\n2.0\n", "line 2 is not one number: 'abc'"),
            (["0.5", "1", "2"], b"0.5\n1.0 2.0\n0.75\n", "line 2 is not one number: '1.0 2.0'"),
            (["0.5", "1", "2"], b"0.5\nnan\n0.75\n2.0\n", "value 2 is nan"),
            (["--binary", "0.5", "1", "1"], np.array([1.0, np.inf]).tobytes(), "value 2 is inf"),
            (["0.5", "1", "2"], b"0.5\n1_0\n0.75\n2.0\n", "line 2 is not one number: '1_0'"),
            (["0.5", "1", "2"], np.array([0.5, -1.25, 0.75, 2.0]).tobytes(),
             "the input looks binary; did you mean --binary?"),
            (["1e400", "1", "2"], four, "lambda must be a finite decimal number, got '1e400'"),
            (["inf", "1", "2"], four, "lambda must be a finite decimal number, got 'inf'"),
            (["--realizations", "0", "0.5", "1", "2"], four, "--realizations must be a whole number of at least 1"),
            (["--realizations", "2", "0.5", "1", "2"], four, "expected K * n0 * 2^step_number = 8 values, read 4"),
            (["--estimate", "1"], four, "expected step_number n0 [FILE ...], got 1 arguments"),
            (["0.5", "1", "1", "/nonexistent/series.txt"], b"", "cannot read /nonexistent/series.txt"),
            (["0.5", "1"], four, "expected lambda step_number n0 [FILE ...], got 2 arguments"),
            (["half", "1", "2"], four, "lambda must be a finite decimal number, got 'half'"),
            (["0.5", "0", "2"], four, "step_number must be a whole number of at least 1, got '0'"),
            (["0.5", "1", "1.5"], four, "n0 must be a whole number of at least 1, got '1.5'"),
            (["0.5", "31", "1"], four, "n0 * 2^step_number must be at most 2147483647, got 1 * 2^31"),
            (["--text", "0.5", "1", "2"], four, "unknown option '--text'"),
            (["--bin", "0.5", "1", "2"], four, "unknown option '--bin'"),
            (["0.5", "1", "2", "--txt"], four, "unknown option '--txt'"),
            (["0.5", "1", "2", "--realizations"], four, "option '--realizations' needs a value"),
            (["0.5", "1", "2", "--law"], four, "option '--law' needs a value"),
            (["--law", "lognormal:2", "0.5", "1", "2"], four,
             f"--law must be {law_choices()}, got 'lognormal:2'"),
            (["--law", "logpoisson:1.5", "0.5", "1", "2"], four,
             "--law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got '1.5'"),
            (["--estimate", "--law", "binomial", "1", "2"], four, "--law is for the check"),
            # After --, a word that looks like an option is a FILE.
            (["0.5", "1", "2", "--", "--binary"], four, "cannot read --binary: No such file or directory"),
            # No value is left to take a log of: no estimate, rather than nan.
            (["--binary", "--estimate", "2", "1"], bytes(32),
             "lambda cannot be estimated: too few terms are left for var log|x|, C(1), C(2): 4 of 4 values are 0"),
            (["--estimate", "1", "2"], b"0\n0\n-0\n0.000000000000000\n",
             "lambda cannot be estimated: too few terms are left for var log|x|, C(1), C(2): 4 of 4 values are 0"),
            # One magnitude throughout: log|x| has no spread, and the estimate no error.
            (["0.5", "1", "2"], b"1\n-1\n1\n1\n", "check: log|x| is 0 at every value above 0 (a constant series)"),
            (["--estimate", "2", "4"], b"2\n" * 16, "estimate_lambda: log|x| is 0.693147 at every value above 0"),
            # More than expected: reading stops at the first value too many.
            (["0.5", "1", "1"], four, "standard input: too many values: expected n0 * 2^step_number = 2 values, and "
                                      "there are more"),
            (["0.5", "1", "1"], b"0.5\n1\n\n", "too many values"),
            (["--binary", "0.5", "1", "1"], bytes(24), "too many values: expected n0 * 2^step_number = 2 values"),
            (["0.5", "1", "1"], b"0.5\n" + b"1" * 5000 + b"\n", "line 2 is longer than 4096 bytes: not one number"),
            # Words of thousands of digits are refused as the program refuses them, without becoming ints.
            (["0.4", "10", "9" * 5000], four, "n0 must be at most 2147483647, got '" + "9" * 80 + "…'"),
            (["0.4", "9" * 5000, "1"], four, "n0 * 2^step_number must be at most 2147483647, got 1 * 2^" + "9" * 80),
            (["--realizations", "9" * 5000, "0.4", "1", "2"], four, "--realizations must be at most 2147483647"),
            (["--estimate", "10", "9" * 5000], four, "n0 must be at most 2147483647, got '"),
            # What generate refuses, in its words.
            (["1e300", "1", "2"], four, "lambda must be at most 1.3407807929942596e+154 in size"),
            # A square beyond the largest double leaves the mean square and the boxes' energies without meaning.
            (["--binary", "0.4", "16", "1"], np.concatenate([np.full(6, 0.5), [1e155], np.full(65529, 0.5)]).tobytes(),
             "value 7 is 1e+155, whose square overflows a double"),
        ]
        for arguments, data, message in cases:
            result = tool_runs.run_tool(TOOL, *arguments, stdin=data)
            with self.subTest(arguments=arguments):
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                lines = result.stderr.decode().splitlines()
                self.assertEqual(len(lines), 1, lines)  # one line, as the program's own refusals
                self.assertTrue(lines[0].startswith("cascade_stats: "), lines[0])
                self.assertIn(message, lines[0])


class EndlessInputTest(unittest.TestCase):
    """Input that never ends is refused at the first value too many, in bounded memory."""

    def test_endless_input_is_too_many_values(self):
        def within_a_gigabyte():  # far more than the tool needs; an unbounded read soon runs out of it
            import resource
            resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))

        cases = [  # (words, endless standard input, the line on standard error)
            (["--binary", "0.4", "2", "1", "/dev/zero"], None,
             "/dev/zero: too many values: expected n0 * 2^step_number = 4 values, and there are more"),
            (["0.4", "2", "1", "-"], ["yes", "0.5"],
             "standard input: too many values: expected n0 * 2^step_number = 4 values, and there are more"),
            (["--binary", "--realizations", "3", "0.4", "2", "1"], ["cat", "/dev/zero"],
             "standard input: too many values: expected K * n0 * 2^step_number = 12 values, and there are more"),
            (["0.4", "2", "1", "/dev/zero"], None, "/dev/zero: byte 1 (0x00) is not text"),
            (["0.4", "2", "1"], ["yes", "5" * 5000], "standard input: line 1 is longer than 4096 bytes"),
        ]
        path = os.pathsep.join(filter(None, [os.environ.get("PYTHONPATH"), os.path.join(tool_runs.ROOT, "python")]))
        for words, feeder, message in cases:
            for name, command in [("cascade_stats", [os.path.join(tool_runs.TOOLS, TOOL)]),
                                  ("cascade.stats", ["-m", "cascade.stats"])]:
                with self.subTest(command=name, words=words, feeder=feeder and " ".join(feeder)[:20]):
                    source = subprocess.Popen(feeder, stdout=subprocess.PIPE) if feeder else None
                    try:
                        result = subprocess.run([sys.executable, *command, *words], capture_output=True,
                                                stdin=source.stdout if source else subprocess.DEVNULL, timeout=60,
                                                preexec_fn=within_a_gigabyte, env={**os.environ, "PYTHONPATH": path})
                    finally:
                        if source:
                            source.kill()
                            source.wait()
                            source.stdout.close()
                    self.assertEqual((result.returncode, result.stdout), (2, b""), result.stderr.decode())
                    self.assertRegex(result.stderr.decode(), rf"^{re.escape(name)}: {re.escape(message)}[^\n]*\n$")


class MemoryTest(unittest.TestCase):
    def test_memory_that_cannot_be_had_while_simulating_is_status_1_with_a_reason(self):
        import io
        from contextlib import redirect_stderr, redirect_stdout
        from unittest import mock
        import cascade
        from cascade.stats import _command_line
        data = tool_runs.cascade_output(95, 0.3, 6, 8, "--binary")
        with tempfile.NamedTemporaryFile(suffix=".f64") as series:
            series.write(data)
            series.flush()
            for words in (["--no-cache", "--binary", "0.3", "6", "8", series.name],
                          ["--estimate", "--binary", "6", "1", series.name + "-one-cell"]):
                if words[0] == "--estimate":  # one cell: its interval simulates series
                    with open(words[-1], "wb") as stream:
                        stream.write(data[:8 * 64])
                errors, output = io.StringIO(), io.StringIO()
                with self.subTest(words=words), mock.patch.object(cascade, "generate", side_effect=MemoryError()), \
                        redirect_stderr(errors), redirect_stdout(output):
                    status = _command_line.main(words, "cascade.stats", "cascade.stats")
                os.unlink(words[-1]) if words[0] == "--estimate" else None
                self.assertEqual((status, output.getvalue()), (1, ""))
                self.assertEqual(errors.getvalue(), "cascade.stats: cannot allocate memory\n")


class OptionsAnywhereTest(unittest.TestCase):
    def test_options_may_stand_anywhere_before_a_lone_double_dash(self):
        lam, steps, n0 = 0.4, 6, 4
        data = tool_runs.cascade_output(91, lam, steps, 2 * n0, "--binary")
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "--series"), "wb") as stream:
                stream.write(data)
            as_option = tool_runs.run_tool(TOOL, "--binary", "--realizations", 2, lam, steps, n0, "--series",
                                           stdin=data, cwd=folder)
            self.assertEqual(as_option.stderr, b"cascade_stats: unknown option '--series'\n")
            expected = tool_runs.run_tool(TOOL, "--binary", "--realizations", 2, lam, steps, n0, stdin=data)
            self.assertEqual(expected.returncode, 0, expected.stderr.decode())
            for words in [[lam, steps, n0, "--binary", "--realizations", 2],
                          [lam, "--realizations=2", steps, "--binary", n0],
                          ["--binary", lam, steps, n0, "--realizations", 2, "-"],
                          ["--realizations", 2, "--binary", "--", lam, steps, n0, "--series"]]:
                with self.subTest(words=words):
                    result = tool_runs.run_tool(TOOL, *words, stdin=data, cwd=folder)
                    self.assertEqual((result.returncode, result.stderr), (0, b""))
                    self.assertEqual(result.stdout, expected.stdout)


class LawOfOneStepTest(unittest.TestCase):
    """A step's factor with the program's mean and variance of log W but another
    law: the K rows see it, where the rows of two moments cannot."""

    def test_a_two_valued_factor_fails_the_law_and_the_program_passes_it(self):
        from cascade.stats import check
        lam, steps, n0 = 1.5, 10, 64
        two_valued = tool_runs.cascade_output(7, lam, steps, n0, "--binary", "--generator", "philox", "--law",
                                              "binomial")
        impostor = check(np.frombuffer(two_valued, dtype="<f8"), lam, steps, n0)
        self.assertTrue(impostor.law_judged)
        self.assertFalse(impostor.law_agrees, impostor.law_deviation)
        self.assertFalse(impostor.agrees)
        program = check(tool_runs.cascade_values(7, lam, steps, n0), lam, steps, n0)
        self.assertTrue(program.law_agrees, program.law_deviation)
        self.assertEqual([row.name for row in program.law_rows], [f"K({2 ** k})" for k in range(7)])


class LargeLambdaTest(unittest.TestCase):
    """At lambda 20 and more the doubles underflow: most values are 0, the mean
    square of most simulated series is 0, and some leave rows without terms."""

    def test_rows_the_simulations_cannot_place_are_not_judged_and_the_rest_are(self):
        steps, n0 = 8, 4
        for lam in (22, 25, 27, 28):
            data = tool_runs.cascade_output(3, lam, steps, n0, "--binary")
            result = tool_runs.run_tool(TOOL, "--binary", lam, steps, n0, stdin=data)
            with self.subTest(lam=lam):
                self.assertEqual((result.returncode, result.stderr), (0, b""), result.stdout.decode())
                text = result.stdout.decode()
                not_judged = [line[:12].rstrip() for line in text.splitlines() if line.endswith("  not judged")]
                self.assertIn("mean x^2", not_judged)
                judged = rows_of(result.stdout)
                # The mean and the variance of log|x| at least: they keep a value in every reference series.
                self.assertGreaterEqual(len(judged), 2)
                self.assertEqual(disagreeing(result.stdout), set())
                self.assertIn(f"not judged at lambda = {lam}: {', '.join(not_judged)} (", text)
                self.assertTrue(text.endswith(f"all {len(judged)} judged rows agree, alone and jointly\n"), text)
                # The judged rows still tell lambdas apart: the same series is no lambda 20.
                wrong = tool_runs.run_tool(TOOL, "--binary", 20, steps, n0, stdin=data)
                self.assertEqual(wrong.returncode, 1, wrong.stdout.decode())
                self.assertIn("mean log|x|", disagreeing(wrong.stdout))

    def test_the_function_marks_rows_not_judged_with_none(self):
        from cascade.stats import check
        values = tool_runs.cascade_values(3, 25, 8, 4)
        result = check(values, 25, 8, 4)
        # x^2 underflows to 0: the mean square and every box energy with it.
        self.assertEqual(result.not_judged, ["mean x^2"] + [row.name for row in result.law_rows])
        self.assertFalse(result.law_judged)
        self.assertIsNone(result.rows[0].agrees)
        self.assertTrue(all(row.agrees for row in result.rows[1:]))
        self.assertTrue(result.agrees)

    def test_with_many_cells_the_mean_square_above_lambda_1_is_not_judged(self):
        # 256 cells: no step is drawn afresh, and the mean square's tail rests on a few simulated values.
        from cascade.stats import check
        for lam, judged in [(0.5, True), (1.5, False)]:
            with self.subTest(lam=lam):
                result = check(tool_runs.cascade_values(4, lam, 4, 256), lam, 4, 256)
                self.assertEqual("mean x^2" not in result.not_judged, judged)
                self.assertTrue(all(row.agrees is not None for row in result.rows[1:]))

    def test_a_lambda_where_no_row_can_be_placed_is_refused(self):
        # At lambda 40 every simulated value underflows to 0, and leaves every row without
        # terms; a series of lambda 0.3 has terms for every row, and nothing to compare them with.
        data = tool_runs.cascade_output(3, 0.3, 8, 4, "--binary")
        result = tool_runs.run_tool(TOOL, "--binary", 40, 8, 4, stdin=data)
        self.assertEqual((result.returncode, result.stdout), (2, b""))
        self.assertRegex(result.stderr.decode(), r"^cascade_stats: cannot be checked at lambda = 40: [^\n]*\n$")


class BrokenStreamsTest(unittest.TestCase):
    def test_what_cannot_be_written_or_read_is_one_line_and_its_status(self):
        data = tool_runs.cascade_output(93, 0.3, 6, 8, "--binary")
        check, estimate = ["--binary", 0.3, 6, 8], ["--binary", "--estimate", 6, 8]
        cases = [  # (words, broken streams, status, the line on standard error)
            (check, {1: "full"}, 1, "cannot write the table: No space left on device"),
            (check, {1: "closed"}, 1, "cannot write the table: Bad file descriptor"),
            (estimate, {1: "full"}, 1, "cannot write the estimate: No space left on device"),
            (estimate, {1: "closed"}, 1, "cannot write the estimate: Bad file descriptor"),
            (["--help"], {1: "full"}, 1, "cannot write to standard output: No space left on device"),
            (check, {0: "closed"}, 2, "standard input: Bad file descriptor"),
            (check, {1: "closed", 0: "closed"}, 2, "standard input: Bad file descriptor"),
            (["--bogus", *check], {2: "closed"}, 2, None),
            (["--bogus", *check], {2: "full"}, 2, None),
            (check, {1: "full", 2: "full"}, 1, None),
        ]
        for words, broken, status, message in cases:
            for name, run in [("cascade_stats", lambda: tool_runs.run_tool(TOOL, *words, stdin=data, broken=broken)),
                              ("cascade.stats", lambda: tool_runs.run_module(*words, stdin=data, broken=broken))]:
                with self.subTest(command=name, words=words, broken=broken):
                    result = run()
                    self.assertEqual(result.returncode, status, result.stderr.decode())
                    self.assertEqual(result.stdout, b"")
                    if message is not None:
                        self.assertRegex(result.stderr.decode(), rf"^{re.escape(name)}: [^\n]*{re.escape(message)}\n$")


class PackageFoundTest(unittest.TestCase):
    """From a source tree the tool uses the tree's build before an installed
    copy, and the source's package, which has no compiled module, after both."""

    def test_the_tree_build_comes_first_and_an_unbuilt_tree_says_so(self):
        data = tool_runs.cascade_output(94, 0.3, 6, 8, "--binary")
        built = os.path.dirname(importlib.util.find_spec("cascade").origin)
        for has_build, installed, status, message in [
                (False, False, 2, "cascade_stats: the cascade module is not built: run cmake --build build "
                                  "(or install the package)\n"),
                (False, True, 2, "cascade_stats: the installed copy was loaded\n"),
                (True, True, 0, ""),
                (True, False, 0, "")]:
            with tempfile.TemporaryDirectory() as folder, self.subTest(has_build=has_build, installed=installed):
                shutil.copytree(tool_runs.TOOLS, os.path.join(folder, "tree", "tools"))
                shutil.copytree(os.path.join(tool_runs.ROOT, "python"), os.path.join(folder, "tree", "python"))
                if has_build:
                    shutil.copytree(built, os.path.join(folder, "tree", "build", "python", "cascade"))
                environment = {"PYTHONPATH": None, "PYTHONUSERBASE": os.path.join(folder, "user")}
                found = subprocess.run(
                    [sys.executable, "-c", "import importlib.util as u, site; "
                                           "print(site.getusersitepackages(), bool(u.find_spec('cascade')))"],
                    capture_output=True, text=True, check=True, cwd=folder,
                    env=tool_runs.without_unset({**os.environ, **environment})).stdout.split()
                if found[1] == "True" and not has_build:
                    self.skipTest("a cascade package is installed for this Python")
                if installed:
                    decoy = os.path.join(found[0], "cascade")
                    os.makedirs(decoy)
                    with open(os.path.join(decoy, "__init__.py"), "w") as stream:
                        stream.write('raise ImportError("the installed copy was loaded")\n')
                result = tool_runs.run_tool(TOOL, "--binary", 0.3, 6, 8, stdin=data, environment=environment,
                                            tools=os.path.join(folder, "tree", "tools"))
                self.assertEqual((result.returncode, result.stderr.decode()), (status, message))
                self.assertEqual(bool(result.stdout), status == 0)


class CommandTest(unittest.TestCase):
    def test_the_module_and_the_tool_are_one_command(self):
        data = tool_runs.cascade_output(42, 0.3, 6, 8, "--binary")
        tool = tool_runs.run_tool(TOOL, "--binary", 0.3, 6, 8, stdin=data)
        module = tool_runs.run_module("--binary", 0.3, 6, 8, stdin=data)
        self.assertEqual(module.returncode, 0, module.stderr.decode())
        self.assertEqual(module.stdout, tool.stdout)
        refused = tool_runs.run_module("0.3", "6", stdin=data)
        self.assertEqual(refused.returncode, 2)
        self.assertTrue(refused.stderr.startswith(b"cascade.stats: expected lambda"), refused.stderr)

    def test_the_function_gives_as_data_the_rows_the_command_prints(self):
        from cascade.stats import check
        data = tool_runs.cascade_output(44, 0.6, 6, 16, "--binary")
        printed = rows_of(tool_runs.run_tool(TOOL, "--binary", 0.6, 6, 16, stdin=data).stdout)
        result = check(np.frombuffer(data, dtype="<f8"), 0.6, 6, 16)
        self.assertEqual([row.name for row in result], list(printed))
        for row in result:
            estimate, error, theory, agrees = printed[row.name]
            self.assertAlmostEqual(row.estimate, estimate, places=6)
            self.assertAlmostEqual(row.standard_error, error, places=6)
            self.assertAlmostEqual(row.theory, theory, places=6)
            self.assertEqual(row.agrees, agrees)
        self.assertTrue(result.agrees)

    def test_simulations_need_no_program(self):
        # The reference series come from the package's own generator: a
        # missing or failing program changes nothing in the check.
        stdin = b"0.5\n-1.25\n0.75\n2.0\n"
        alone = tool_runs.run_tool(TOOL, 0.3, 2, 1, stdin=stdin)
        for program in ["/nonexistent/cascade", "/bin/false"]:
            result = tool_runs.run_tool(TOOL, 0.3, 2, 1, stdin=stdin, environment={"CASCADE_BINARY": program})
            with self.subTest(program=program):
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, alone.stdout)
                self.assertEqual(result.stderr, b"")

    def test_help_describes_every_option_and_its_default(self):
        result = tool_runs.run_tool(TOOL, "--help")
        self.assertEqual(result.returncode, 0)
        text = " ".join(result.stdout.decode().split())
        for option, default in [("--binary", "(default: text"), ("--realizations K", "(default: 1)"),
                                ("--estimate", "(default: check)"), ("--law LAW", "(default: lognormal)")]:
            self.assertIn(option, text)
            self.assertIn(default, text[text.index(option):])
        self.assertIn("exit status: 0", text)

    def test_a_closed_pipe_ends_it_quietly(self):
        with tempfile.NamedTemporaryFile(suffix=".f64") as series:
            series.write(tool_runs.cascade_output(43, 0.3, 10, 16, "--binary"))
            series.flush()
            process = subprocess.Popen([sys.executable, os.path.join(tool_runs.TOOLS, TOOL), "--binary",
                                        "0.3", "10", "16", series.name],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            process.stdout.close()  # the reader is gone before the table is written
            error = process.stderr.read()
            process.stderr.close()
            process.wait()
        self.assertEqual(error, b"")
        self.assertEqual(process.returncode, -signal.SIGPIPE)


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
