#!/usr/bin/env python3
"""Wall time of the statistics check (python3 -m cascade.stats) on series of
the program: a check of 2^16 values, one of 1 x 2^24, an ensemble of
200 x 2^16, each first with its reference simulated (--no-cache), then
again with it cached. Run from a build: PYTHONPATH=build/python."""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import cascade

CASES = [("2^16 values, 1 x 2^16", 0.5, 16, 1, 1), ("1 x 2^24", 0.5, 24, 1, 1),
         ("ensemble 200 x 2^16", 0.5, 16, 1, 200)]


def timed(words, path, environment):
    started = time.monotonic()
    result = subprocess.run([sys.executable, "-m", "cascade.stats", "--binary", *words, path],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment, check=False)
    if result.returncode not in (0, 1):
        sys.exit(f"stats_check: the check failed: {result.stderr.decode().strip()}")
    return time.monotonic() - started


def main():
    folder = tempfile.mkdtemp(prefix="cascade-bench-")
    environment = {**os.environ, "XDG_CACHE_HOME": os.path.join(folder, "cache")}
    print(f"{'check':<24} {'simulated (s)':>14} {'cached (s)':>11}")
    for name, lam, steps, n0, realizations in CASES:
        path = os.path.join(folder, "series.f8")
        with open(path, "wb") as stream:
            for seed in range(1, realizations + 1):
                stream.write(cascade.generate(lam, steps, n0, seed=seed).astype("<f8").tobytes())
        words = [f"--realizations={realizations}", repr(lam), str(steps), str(n0)]
        fresh = timed(words, path, environment)  # simulates the reference, and keeps it
        cached = timed(words, path, environment)
        print(f"{name:<24} {fresh:>14.2f} {cached:>11.2f}", flush=True)
        os.unlink(path)


if __name__ == "__main__":
    main()
