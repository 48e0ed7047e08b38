"""The block sums, the reference built on them, its cache, and the theory as data."""
import contextlib
import glob
import io
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

import numpy as np
from scipy import stats as scipy_stats

import tool_runs  # noqa: F401  (puts the package on the path, and the cache in a folder of its own)
import cascade
from cascade.stats import _cache, _check, _energy_steps, _estimates, check, estimate_lambda, theory
from cascade.stats.reference import fit as _reference_fit, plan as _reference_plan, series as _reference_series
from cascade.stats import UncheckableSeries
from cascade.stats import simulate as simulation


def numpy_block_sums(x, block_length, lags):
    """The block sums written out pair by pair."""
    has = x != 0
    logs = np.where(has, np.log(np.abs(np.where(has, x, 1.0))), 0.0)
    rows = []
    for begin in range(0, x.size, block_length):
        end = begin + block_length
        row = [has[begin:end].sum(), (x[begin:end] ** 2).sum(), logs[begin:end].sum(), (logs[begin:end] ** 2).sum()]
        for lag in lags:
            starts = np.arange(begin, min(end, x.size - lag))
            for group in (starts[starts + lag < end], starts[starts + lag >= end]):
                a, b = logs[group], logs[group + lag]
                row += [(has[group] & has[group + lag]).sum(), (a * has[group + lag]).sum(),
                        (b * has[group]).sum(), (a * b).sum()]
        rows.append(row)
    return np.array(rows, dtype=float)


class BlockSumsTest(unittest.TestCase):
    def test_equal_the_sums_written_out(self):
        # (lambda, steps, n0, block length, positions set to 0): half-cells, one block, blocks shorter than lags.
        for lam, steps, n0, block, zeros in [(0.7, 6, 3, 32, ()), (0.7, 6, 3, 192, (5, 70)), (1.2, 5, 2, 4, (0, 63)),
                                             (0.0, 7, 1, 1, (17,))]:
            x = cascade.generate(lam, steps, n0, seed=41)
            x[list(zeros)] = 0.0
            lags = _estimates.lags_checked(steps, x.size)
            with self.subTest(lam=lam, steps=steps, n0=n0, block=block):
                np.testing.assert_allclose(_estimates.block_sums(x, block, lags), numpy_block_sums(x, block, lags),
                                           rtol=1e-12, atol=1e-9)

    def test_a_shift_applied_to_the_sums_equals_the_shifted_series(self):
        # The reference draws the first steps' factors afterwards: the sums must take them exactly.
        rng = np.random.default_rng(3)
        for steps, block_steps, zeros in [(9, 4, ()), (8, 2, (3, 100)), (10, 7, ())]:
            y = cascade.generate(0.6, block_steps, 1 << (steps - block_steps), seed=9)
            y[list(zeros)] = 0.0
            length = 1 << block_steps
            shifts = rng.normal(size=y.size // length)
            x = y * np.repeat(np.exp(shifts), length)
            lags = _estimates.lags_checked(steps, y.size)
            offsets = [1 if lag < length else lag // length for lag in lags]
            direct = _estimates.rows(_estimates.block_sums(x, x.size, lags)[None], 0.6, x.size, lags)
            shifted = _estimates.rows(_estimates.block_sums(y, length, lags)[None], 0.6, y.size, lags,
                                      shifts[None], offsets)
            with self.subTest(steps=steps, block_steps=block_steps):
                np.testing.assert_allclose(shifted, direct, rtol=1e-9, atol=1e-12)
            # The law rows: boxes inside a block from its own sums, longer ones from the blocks' energies.
            plan = _reference_plan.Plan(0.6, steps, 1, steps - block_steps, 2, 1)
            lengths = _energy_steps.box_lengths(steps)
            within = _reference_plan.lengths_within_block(plan)
            law_direct = _energy_steps.kurtoses(_energy_steps.block_sums(x, x.size, lengths)[0])
            sums = _reference_series.series_sums(y, length, lags, lengths, within)
            law_shifted = _reference_series.law_estimates(sums[None], plan, lags, shifts[None])[0]
            with self.subTest("law", steps=steps, block_steps=block_steps, within=within):
                np.testing.assert_allclose(law_shifted, law_direct, rtol=1e-9)

    def test_refuses_a_block_length_that_does_not_divide(self):
        from cascade import cascade_native
        with self.assertRaisesRegex(ValueError, "block_length must divide the 64 values, got 5"):
            cascade_native.block_sums(np.ones(64), 5, [1])
        with self.assertRaisesRegex(ValueError, "a lag must be in 1 .. 63, got 64"):
            cascade_native.block_sums(np.ones(64), 8, [64])
        with self.assertRaisesRegex(ValueError, "a box length must be a power of two whose double divides "
                                                "the block length 8, got 3"):
            cascade_native.energy_step_sums(np.ones(64), 8, [3])
        with self.assertRaisesRegex(ValueError, "got 8"):
            cascade_native.energy_step_sums(np.ones(64), 8, [8])


class ExchangeablePartsTest(unittest.TestCase):
    def test_the_parts_a_reference_series_may_swap_have_the_same_pairs(self):
        # A reference series takes its leading parts from any position: their pair counts
        # must not depend on the position, and the first part left in place must differ.
        from cascade.stats._progress import Progress
        for lam, steps, cells in [(0.5, 10, 1), (0.5, 9, 20), (3.0, 6, 8), (5.0, 5, 4), (0.5, 4, 512)]:
            lags = _estimates.lags_checked(steps, cells << steps)
            plan = _reference_plan.plan(lam, steps, cells, lags)
            sums = _reference_series.simulated_sums(plan, lags, False, Progress("", "", enabled=False))[0, :, 0]
            counts = sums[:, [_estimates.LEADING_COLUMNS + _estimates.COLUMNS_PER_LAG * k + j
                              for k in range(len(lags)) for j in (0, 4)]]
            alike = _reference_plan.exchangeable_parts(plan, lags)
            with self.subTest(lam=lam, steps=steps, cells=cells, depth=plan.depth, alike=alike):
                self.assertGreater(alike, 1)
                self.assertTrue((counts[:alike] == counts[0]).all())
                self.assertFalse((counts[alike] == counts[0]).all())


class CacheTest(unittest.TestCase):
    SHAPE = (0.5, 7, 4)

    def setUp(self):
        for path in glob.glob(os.path.join(_cache.directory(), "*")):
            os.unlink(path)
        self.x = cascade.generate(*self.SHAPE, seed=5)

    def files(self):
        return glob.glob(os.path.join(_cache.directory(), "reference-*.npz"))

    def table(self, **options):
        return [(row.estimate, row.deviation, row.agrees) for row in check(self.x, *self.SHAPE, **options)]

    def test_kept_used_again_and_made_again_when_damaged_or_foreign(self):
        fresh = self.table(cache=False)
        self.assertEqual(self.files(), [])
        self.assertEqual(self.table(), fresh)
        [path] = self.files()
        with mock.patch.object(_reference_fit, "build", side_effect=AssertionError("simulated again")):
            self.assertEqual(self.table(), fresh)
        with open(path, "rb") as stream:
            start = stream.read(200)
        for damage in (b"not a zip file", start):
            with open(path, "wb") as stream:
                stream.write(damage)
            self.assertEqual(self.table(), fresh)
        # A file of another reference under this one's name: its description differs.
        other = _cache.key(lam="0.25")
        with np.load(path) as stored:
            arrays = {name: stored[name] for name in stored.files if name != "description"}
        np.savez(path, description=np.array(other), **arrays)
        with mock.patch.object(_reference_fit, "build", wraps=_reference_fit.build) as build:
            self.assertEqual(self.table(), fresh)
            build.assert_called_once()

    def test_a_different_lambda_or_version_is_another_file(self):
        check(self.x, 0.5, 7, 4)
        check(self.x, 0.55, 7, 4)
        with mock.patch.object(cascade, "__version__", "0.0.0-other"):
            check(self.x, 0.5, 7, 4)
        self.assertEqual(len(self.files()), 3)


def in_arrays(change):
    """A change of the entry at a path: its arrays rewritten with change(arrays)."""
    def rewrite(path):
        with np.load(path) as stored:
            arrays = {name: stored[name].copy() for name in stored.files}
        change(arrays)
        os.unlink(path)
        with open(path, "wb") as stream:
            np.savez(stream, **arrays)
    return rewrite


def set_judged(name, value):
    def change(arrays):
        arrays[name][np.flatnonzero(arrays["judged"])[0]] = value
    return in_arrays(change)


def set_scalar(name, value):
    def change(arrays):
        arrays[name] = np.array(value)
    return in_arrays(change)


def npy_file(path):
    os.unlink(path)
    with open(path, "wb") as stream:
        np.save(stream, np.arange(10.0))


def fifo(path):
    os.unlink(path)
    os.mkfifo(path)


def link_to_a_copy(path):
    copy = os.path.join(os.path.dirname(os.path.dirname(path)), "elsewhere.npz")
    os.replace(path, copy)
    os.symlink(copy, path)


def owned_by_another(path):
    os.chown(path, 65534, 65534)


class _Alarm(Exception):
    pass


@contextlib.contextmanager
def at_most(seconds):
    """Raises _Alarm in the test when what it guards hangs (a read of a pipe with no writer)."""
    def ring(*_):
        raise _Alarm(f"still waiting after {seconds} s")
    previous = signal.signal(signal.SIGALRM, ring)
    signal.alarm(seconds)
    try:
        yield
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)


class HostileCacheTest(unittest.TestCase):
    """Whatever lies at an entry's path or in its arrays is made again, never trusted,
    never waited on; a folder others may write in is not used at all."""
    SHAPE = (0.5, 7, 4)

    def setUp(self):
        shutil.rmtree(_cache.directory(), ignore_errors=True)
        _cache._said.clear()
        self.x = cascade.generate(*self.SHAPE, seed=5)
        self.fresh = self.table(cache=False)

    def table(self, **options):
        return [(row.estimate, row.deviation, row.agrees) for row in check(self.x, *self.SHAPE, **options)]

    def entry(self):
        [path] = glob.glob(os.path.join(_cache.directory(), "reference-*.npz"))
        return path

    def checked(self):
        """The table and how many times the reference was simulated for it, and what went to standard error."""
        errors = io.StringIO()
        with mock.patch.object(_reference_fit, "build", wraps=_reference_fit.build) as build, \
                contextlib.redirect_stderr(errors), at_most(50):
            table = self.table()
        return table, build.call_count, errors.getvalue()

    def test_an_entry_that_is_not_a_reference_is_made_again_and_kept(self):
        cases = [("an .npy array, not an archive", npy_file), ("a pipe", fifo),
                 ("a link to a copy of itself", link_to_a_copy),
                 ("nan centre", set_judged("centre", np.nan)), ("nan spread", set_judged("spread", np.nan)),
                 ("zero spread", set_judged("spread", 0.0)), ("row threshold 1e300", set_scalar("threshold", 1e300)),
                 ("joint threshold -1", set_scalar("joint_threshold", -1.0)),
                 ("nan law threshold", set_scalar("law_threshold", np.nan)),
                 ("theory threshold inf", set_scalar("theory_threshold", np.inf)),
                 ("another simulated count", set_scalar("simulated", 3)),
                 ("a float where an int is kept", set_scalar("depth", 2.0))]
        if os.geteuid() == 0:
            cases.append(("a file of another user", owned_by_another))
        self.table()
        path = self.entry()
        with open(path, "rb") as stream:
            sound = stream.read()
        for name, change in cases:
            with self.subTest(name):
                os.unlink(path)
                with open(path, "wb") as stream:
                    stream.write(sound)
                change(path)
                self.assertEqual(self.checked(), (self.fresh, 1, ""))
                # Made again over what was there: a regular file of the user's, used from now on.
                self.assertTrue(os.path.isfile(path) and not os.path.islink(path))
                self.assertEqual(os.lstat(path).st_uid, os.geteuid())
                self.assertEqual(self.checked(), (self.fresh, 0, ""))

    def test_a_folder_that_is_not_the_users_alone_is_not_used(self):
        folder = _cache.directory()
        elsewhere = folder + "-elsewhere"
        cases = [("others may write", lambda: os.chmod(folder, 0o777), "others may write in it (mode 777)"),
                 ("its group may write", lambda: os.chmod(folder, 0o770), "others may write in it (mode 770)"),
                 ("a link", lambda: (os.rename(folder, elsewhere), os.symlink(elsewhere, folder)),
                  "it is a symbolic link")]
        if os.geteuid() == 0:
            cases.append(("another user's", lambda: os.chown(folder, 65534, 65534),
                          f"it belongs to user 65534, not to {os.geteuid()}"))
        for name, change, reason in cases:
            with self.subTest(name):
                for path in (folder, elsewhere):
                    if os.path.islink(path):
                        os.unlink(path)
                    shutil.rmtree(path, ignore_errors=True)
                _cache._said.clear()
                self.table()
                change()
                before = sorted(os.listdir(folder))
                table, builds, errors = self.checked()
                self.assertEqual((table, builds), (self.fresh, 1))
                self.assertEqual(errors, f"cascade.stats: the reference cache {folder} is not used: {reason}\n")
                self.assertEqual(sorted(os.listdir(folder)), before)
        for path in (folder, elsewhere):
            if os.path.islink(path):
                os.unlink(path)
            shutil.rmtree(path, ignore_errors=True)

    def test_a_write_that_fails_is_one_line_and_leaves_nothing(self):
        # Files may grow to 4 KiB only: the entry cannot be written, as on a full disk.
        program = ("import resource, signal, numpy, cascade\n"
                   "from cascade.stats import check\n"
                   "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
                   "resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))\n"
                   f"print(check(cascade.generate(*{self.SHAPE!r}, seed=5), *{self.SHAPE!r}).agrees)\n")
        result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=120)
        self.assertEqual((result.returncode, result.stdout), (0, "True\n"), result.stderr)
        self.assertEqual(result.stderr, f"cascade.stats: cannot keep the reference in {_cache.directory()}: "
                                        f"File too large\n")
        self.assertEqual(os.listdir(_cache.directory()), [])

    def test_a_rebuilt_compiled_module_never_reuses_an_entry(self):
        # The same version and Python sources, another compiled module: another reference.
        with tempfile.TemporaryDirectory() as folder:
            package = os.path.join(folder, "cascade")
            shutil.copytree(os.path.dirname(cascade.__file__), package)
            program = (f"import cascade; from cascade.stats import check; "
                       f"check(cascade.generate(*{self.SHAPE!r}, seed=5), *{self.SHAPE!r})")
            environment = {**os.environ, "PYTHONPATH": folder}
            counts = []
            for rebuilt in (False, False, True):
                if rebuilt:
                    [module] = glob.glob(os.path.join(package, "cascade_native*.so"))
                    with open(module, "ab") as stream:
                        stream.write(b"rebuilt")  # bytes past the end of the ELF file: it still loads
                subprocess.run([sys.executable, "-c", program], env=environment, check=True, timeout=120)
                counts.append(len(glob.glob(os.path.join(_cache.directory(), "reference-*.npz"))))
        self.assertEqual(counts, [1, 1, 2])


class ArgumentRulesTest(unittest.TestCase):
    """check(), estimate_lambda() and theory() refuse what generate refuses, with its very exception."""

    def test_what_generate_refuses_is_refused_with_its_message(self):
        x = cascade.generate(0.4, 8, 2, seed=1)
        cases = [(True, 8, 2), ("0.4", 8, 2), (np.bool_(True), 8, 2), (None, 8, 2), ([0.4], 8, 2),
                 (math.nan, 8, 2), (math.inf, 8, 2), (1e300, 8, 2),
                 (0.4, True, 2), (0.4, 8.0, 2), (0.4, "8", 2), (0.4, 0, 2), (0.4, 8, False), (0.4, 8, 1.5),
                 (0.4, 8, 0), (0.4, 31, 1), (0.4, 8, 10**30)]
        for lam, steps, n0 in cases:
            with self.assertRaises((TypeError, ValueError)) as refused:
                cascade.generate(lam, steps, n0, seed=1)
            expected = (type(refused.exception), str(refused.exception))
            calls = [("check", lambda: check(x, lam, steps, n0)), ("theory", lambda: theory(lam, steps, n0))]
            if isinstance(lam, float) and math.isfinite(lam) and abs(lam) < 1:
                calls.append(("estimate_lambda", lambda: estimate_lambda(x, steps, n0)))
            for name, call in calls:
                with self.subTest(function=name, lam=lam, steps=steps, n0=n0):
                    with self.assertRaises(Exception) as raised:
                        call()
                    self.assertEqual((type(raised.exception), str(raised.exception)), expected)


class OverflowingSquaresTest(unittest.TestCase):
    def test_a_square_beyond_the_largest_double_is_named(self):
        x = cascade.generate(0.4, 16, 1, seed=1)
        cases = [({6: 1e155}, "value 7 is 1e+155, whose square overflows a double"),
                 ({6: -3e200, 9: 1e155}, "value 7 is -3e+200, whose square overflows a double"),
                 ({k: 1e154 for k in range(4)}, "the squares of the values add up beyond the largest double "
                                                "(the largest is value 1, 1e+154)")]
        for planted, message in cases:
            y = x.copy()
            for index, value in planted.items():
                y[index] = value
            with self.subTest(planted=planted), self.assertRaises(UncheckableSeries) as refused:
                check(y, 0.4, 16, 1)
            self.assertTrue(str(refused.exception).startswith(message), str(refused.exception))


class InputShapeTest(unittest.TestCase):
    def test_a_two_dimensional_array_is_an_ensemble(self):
        rows = np.stack([cascade.generate(0.4, 8, 2, seed=seed) for seed in (1, 2, 3)])
        laid = check(rows.reshape(-1), 0.4, 8, 2, realizations=3)
        as_rows = check(rows, 0.4, 8, 2)
        self.assertEqual(as_rows.realizations, 3)
        self.assertEqual([r.deviation for r in as_rows], [r.deviation for r in laid])
        self.assertEqual(estimate_lambda(rows, 8, 2), estimate_lambda(rows.reshape(-1), 8, 2, realizations=3))

    def test_refuses_what_is_not_a_whole_number(self):
        x = cascade.generate(0.4, 8, 2, seed=1)
        for function, arguments in [(check, (x, 0.4, 8.0, 2)), (check, (x, 0.4, 8, 2.0)),
                                    (estimate_lambda, (x, 8.0, 2)), (check, (x, 0.4, True, 2))]:
            with self.subTest(function=function.__name__, arguments=arguments[1:]):
                with self.assertRaisesRegex(TypeError, r"(step_number|n0) must be an int, got (float|bool)"):
                    function(*arguments)

    def test_a_second_dimension_of_the_wrong_length_is_refused(self):
        with self.assertRaisesRegex(ValueError, "expected rows of n0 \\* 2\\^step_number = 512 values, got 256"):
            check(np.ones((3, 256)), 0.4, 8, 2)


class ReferenceAgainstTheoryTest(unittest.TestCase):
    def test_holds_for_the_program_and_fails_for_a_wrong_lambda(self):
        for lam, steps, n0 in [(0.5, 8, 1), (1.0, 10, 4), (0.0, 6, 64)]:
            result = check(cascade.generate(lam, steps, n0, seed=2), lam, steps, n0, cache=False)
            with self.subTest(lam=lam, steps=steps, n0=n0):
                self.assertTrue(result.theory_agrees, (result.theory_deviation, result.theory_threshold))
                self.assertGreater(result.theory_rows, 3)
        real = simulation.simulate

        def wrong(lam, steps, n0, seed, law):
            return real(lam * 1.25, steps, n0, seed, law)

        with mock.patch.object(_reference_series, "simulate", wrong):
            result = check(cascade.generate(0.5, 8, 1, seed=2), 0.5, 8, 1, cache=False)
        self.assertFalse(result.theory_agrees)
        self.assertFalse(result.agrees)


class TheoryTest(unittest.TestCase):
    """theory() against a simulation of the program, each number within a few standard errors."""

    def test_against_the_program(self):
        lam, steps, n0 = 0.6, 8, 256
        t = theory(lam, steps, n0)
        x, w = cascade.generate(lam, steps, n0, seed=11, weights=True)
        logs, log_w = np.log(np.abs(x)), np.log(w)
        cells_logs = logs.reshape(n0, -1)
        # Cells are independent: the spread of cell means gives each standard error.
        def agrees(per_cell, expected, name):
            error = per_cell.std(ddof=1) / math.sqrt(per_cell.size)
            self.assertLess(abs(per_cell.mean() - expected), 4.5 * error, name)

        agrees((x * x).reshape(n0, -1).mean(axis=1), t.mean_square, "mean square")
        agrees(cells_logs.mean(axis=1), t.mean_log_magnitude, "mean log|x|")
        agrees(((cells_logs - t.mean_log_magnitude) ** 2).mean(axis=1), t.variance_log_magnitude, "var log|x|")
        agrees(log_w.reshape(n0, -1).mean(axis=1), t.mean_log_weight, "mean log w")
        agrees(((log_w - t.mean_log_weight) ** 2).reshape(n0, -1).mean(axis=1), t.variance_log_weight, "var log w")
        centred, centred_w = logs - t.mean_log_magnitude, log_w - t.mean_log_weight
        for lag, expected, expected_w in zip(t.lags, t.lag_covariance, t.log_weight_lag_covariance):
            if lag >= 1 << steps:
                continue
            products = (centred[:-lag] * centred[lag:])[: (n0 - 1) << steps].reshape(n0 - 1, -1).mean(axis=1)
            products_w = (centred_w[:-lag] * centred_w[lag:])[: (n0 - 1) << steps].reshape(n0 - 1, -1).mean(axis=1)
            # Pairs that cross into the next cell share nothing: the row counts them as the theory does.
            scale = (x.size - lag) / x.size
            agrees(products, expected * scale * x.size / (x.size - lag) * (1 << steps) / (1 << steps), f"C({lag})")
            agrees(products_w, expected_w, f"log w C({lag})")
        # E[w^q] = 2^(-steps zeta(q)): the final weights are the blocks of relative size 2^-steps.
        for q in (0.5, 1.0, 1.5, 2.0):
            agrees((w ** q).reshape(n0, -1).mean(axis=1), 2.0 ** (-steps * t.zeta(q)), f"E[w^{q}]")
        self.assertAlmostEqual(t.zeta(2.0), 0.0, places=15)
        self.assertAlmostEqual(t.c2, -lam * lam / steps / math.log(2.0), places=15)

    def test_refuses_bad_lags_and_types(self):
        with self.assertRaisesRegex(ValueError, "lags must be whole numbers from 1 to N - 1 = 255"):
            theory(0.5, 8, 1, lags=[256])
        with self.assertRaisesRegex(TypeError, "step_number must be an int, got float"):
            theory(0.5, 8.0, 1)
        self.assertEqual(theory(0.5, 8, 1).lags.tolist(), [1, 2, 4, 8, 16, 32, 64, 128])
        self.assertEqual(theory(0.5, 8, 2).lags[-1], 256)


class OneSidedIntervalTest(unittest.TestCase):
    def test_an_estimate_at_most_0_gives_0_to_an_upper_bound(self):
        one_sided = covered = 0
        seeds = range(1, 201)
        for seed in seeds:
            estimate = estimate_lambda(cascade.generate(0.0, 6, 32, seed=seed), 6, 32)
            covered += estimate.low <= 0.0 <= estimate.high
            if estimate.lambda_squared <= 0:
                one_sided += 1
                self.assertTrue(estimate.one_sided)
                self.assertEqual((estimate.lam, estimate.low), (0.0, 0.0))
                self.assertGreater(estimate.high, 0.0)
        # About half the estimates of lambda^2 = 0 fall at or below it.
        self.assertGreater(one_sided, scipy_stats.binom.ppf(0.001, len(seeds), 0.5) - 30)
        # The two-sided intervals of positive estimates leave 0 out about 2.5% of the time.
        self.assertGreaterEqual(covered, scipy_stats.binom.ppf(0.001, len(seeds), 0.975))


if __name__ == "__main__":
    unittest.main()
