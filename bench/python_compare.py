#!/usr/bin/python3
"""Times the ways a Python user can get a series, per value, with the peak
memory each takes above the interpreter's own.

    python_compare.py PROGRAM [--steps 20 24] [--runs 5]

Cases, each in a fresh interpreter (so that peaks do not mix), for
N = 2^steps, lambda 0.3, n0 1:

- generate: cascade.generate into a fresh array
- generate out=: cascade.generate into one array allocated (and touched)
  before the timed calls
- philox, philox out=: the same with generator="philox", every CPU
- program pipe: PROGRAM --binary through a pipe, np.frombuffer on the bytes
- plain numpy: the same process vectorised per generation with numpy's own
  normal generator, as a user would write it without this package

Each case makes one untimed call first (memory a process frees returns to
the host, and the first touch of fresh memory costs more than the values),
then `runs` timed calls; the median is reported. Peak memory is the
process's peak resident size (VmHWM, which unlike ru_maxrss does not carry
over from the parent process) minus that of an interpreter that has only
imported numpy and cascade. The program's own memory (a separate process) is
not in its row.
"""

import argparse
import math
import subprocess
import sys

import numpy as np

import cascade

LAMBDA = 0.3
SEED = 1700000000

PEAK_RESIDENT = r"""
def peak_resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
"""

CASE_SCRIPT = PEAK_RESIDENT + r"""
import subprocess, sys, time
import numpy as np
import cascade
sys.path.insert(0, {bench_dir!r})
from python_compare import make_{case} as make

steps, runs, program = {steps}, {runs}, {program!r}
call = make(steps, program)
call()
times = []
for _ in range(runs):
    start = time.perf_counter()
    call()
    times.append(time.perf_counter() - start)
times.sort()
print(times[len(times) // 2], peak_resident_kib())
"""

BASELINE_SCRIPT = PEAK_RESIDENT + r"""
import numpy as np
import cascade
print(peak_resident_kib())
"""


def make_generate(steps, program):
    return lambda: cascade.generate(LAMBDA, steps, 1, SEED)


def make_generate_out(steps, program):
    buffer = np.zeros(1 << steps)
    return lambda: cascade.generate(LAMBDA, steps, 1, SEED, out=buffer)


def make_philox(steps, program):
    return lambda: cascade.generate(LAMBDA, steps, 1, SEED, generator="philox")


def make_philox_out(steps, program):
    buffer = np.zeros(1 << steps)
    return lambda: cascade.generate(LAMBDA, steps, 1, SEED, out=buffer, generator="philox")


def make_program_pipe(steps, program):
    def call():
        with subprocess.Popen([program, "--binary", "--seed", str(SEED), str(LAMBDA), str(steps), "1"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL) as child:
            return np.frombuffer(child.stdout.read(), dtype="<f8")
    return call


def numpy_cascade(lam, step_number, n0, rng):
    """x = w * g with the cascade's weights w, one generation at a time."""
    sigma = abs(lam) / math.sqrt(step_number)
    weights = np.ones(n0)
    for _ in range(step_number):
        factors = np.exp(sigma * rng.standard_normal(2 * weights.size) - sigma * sigma)
        weights = np.repeat(weights, 2) * factors
    return weights * rng.standard_normal(weights.size)


def make_plain_numpy(steps, program):
    rng = np.random.default_rng(SEED)
    return lambda: numpy_cascade(LAMBDA, steps, 1, rng)


CASES = [("generate", "generate"), ("generate out=", "generate_out"), ("philox", "philox"),
         ("philox out=", "philox_out"), ("program pipe", "program_pipe"), ("plain numpy", "plain_numpy")]


def run_python(script):
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True).stdout.split()


def check_equal(program, steps):
    """The three exact cases must give the same bits before any is timed."""
    fresh = make_generate(steps, program)()
    buffer = np.zeros(1 << steps)
    cascade.generate(LAMBDA, steps, 1, SEED, out=buffer)
    piped = make_program_pipe(steps, program)()
    if not (np.array_equal(fresh.view(np.uint64), buffer.view(np.uint64))
            and np.array_equal(fresh.view(np.uint64), piped.view(np.uint64))):
        sys.exit(f"python_compare: the cases differ at N = 2^{steps}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--steps", type=int, nargs="+", default=[20, 24])
    parser.add_argument("--runs", type=int, default=5)
    arguments = parser.parse_args()
    bench_dir = sys.path[0]

    baseline_kib = int(run_python(BASELINE_SCRIPT)[0])
    print(f"interpreter with numpy and cascade: {baseline_kib / 1024:.1f} MiB resident")
    print(f"{'N':<6} {'case':<14} {'time':>10} {'ns/value':>9} {'x numpy':>8} {'B/value':>8}")
    for steps in arguments.steps:
        check_equal(arguments.program, steps)
        n = 1 << steps
        rows = []
        for label, case in CASES:
            seconds, peak_kib = run_python(CASE_SCRIPT.format(
                bench_dir=bench_dir, case=case, steps=steps, runs=arguments.runs, program=arguments.program))
            rows.append((label, float(seconds), (int(peak_kib) - baseline_kib) * 1024 / n))
        numpy_seconds = rows[-1][1]
        for label, seconds, bytes_per_value in rows:
            print(f"2^{steps:<4} {label:<14} {seconds:>9.4f}s {seconds * 1e9 / n:>9.2f} "
                  f"{numpy_seconds / seconds:>8.1f} {bytes_per_value:>8.2f}")


if __name__ == "__main__":
    main()
