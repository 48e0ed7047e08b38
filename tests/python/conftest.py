"""Shared helpers for the Python module's tests: the program under test and
the known answers, both named by CTest through the environment."""

import os
import re
import subprocess
from pathlib import Path

import numpy as np

PROGRAM = os.environ["CASCADE_BINARY"]
DATA = Path(os.environ["CASCADE_TEST_DATA_DIR"])


def program_binary(seed, lam, step_number, n0, *options):
    """The values and the summary line that `cascade --binary --seed [options]` writes."""
    run = subprocess.run(
        [PROGRAM, "--binary", "--seed", str(seed), *options, "--", str(lam), str(step_number), str(n0)],
        capture_output=True, check=True)
    return np.frombuffer(run.stdout, dtype="<f8"), run.stderr.decode()


def program_float32(folder, seed, lam, step_number, n0, *options):
    """The values and the weights that `cascade --float32 --weights FILE` writes, as files in `folder`
    read back as little-endian float32."""
    values, weights = Path(folder) / "values.f4", Path(folder) / "weights.f4"
    with open(values, "wb") as out:
        subprocess.run([PROGRAM, "--float32", "--seed", str(seed), "--weights", str(weights), "--no-progress",
                        *options, "--", str(lam), str(step_number), str(n0)], stdout=out, check=True)
    return np.fromfile(values, "<f4"), np.fromfile(weights, "<f4")


def program_refusal(words):
    """The program's one-line refusal of a command line."""
    run = subprocess.run([PROGRAM, *words], capture_output=True)
    assert run.returncode == 2, run
    return run.stderr.decode().rstrip("\n")


def known_runs():
    """(name, seed, lam text, step_number, n0) of every known run in the test data."""
    runs = []
    for out in sorted(DATA.glob("run-T*-args-*.out")):
        seed, lam, step_number, n0 = re.fullmatch(r"run-T(\d+)-args-(.+)-(\d+)-(\d+)", out.stem).groups()
        runs.append((out.stem, int(seed), lam, int(step_number), int(n0)))
    assert runs, f"no known runs under {DATA}"
    return runs


def value_lines(values):
    """Values as the program prints them, one "%16.15lf" line each."""
    return "".join("%16.15f\n" % v for v in values)


def same_bits(a, b):
    """The same dtype, shape and bits (float64 or float32): a -0.0 is not 0.0, and each nan is its own."""
    unsigned = f"u{a.dtype.itemsize}"
    return a.dtype == b.dtype and a.shape == b.shape and np.array_equal(a.view(unsigned), b.view(unsigned))
