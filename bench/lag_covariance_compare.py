#!/usr/bin/env python3
"""Time and peak memory of cascade.stats.lag_covariance against plain numpy
products at the same lags, on a philox ensemble of 64 series of 16 cells of
2^14 values (64 x 2^18, 128 MiB): 8 lags from 1 to the cell length (4^0 ..
4^7), the same with each series one cell of 2^18, then 2000 lags (1 .. 2000),
then every lag of a smaller ensemble (8 x 2^16, lags 1 .. N - 1).

The plain products are the least any estimate needs: log|x| once, less its
mean, and per lag the sum of the products of the pairs (no per-cell sums, no
jackknife). Each case runs in a process of its own, which loads the ensemble
from a file and then reports its wall time and how far its peak resident
memory rose above what it held once the ensemble was loaded (`extra`).
Run from a build: PYTHONPATH=build/python bench/lag_covariance_compare.py [repeats]."""
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

ENSEMBLE = (64, 14, 16)  # realizations, step_number, n0
ONE_CELL = (64, 18, 1)  # the same values as 64 series of one cell each
SMALL = (8, 12, 16)
EIGHT_LAGS = [4 ** k for k in range(8)]


def parse_lags(text):
    """"1,4,16" or "1..2000" (both ends included)."""
    if ".." in text:
        first, last = map(int, text.split(".."))
        return range(first, last + 1)
    return [int(lag) for lag in text.split(",")]


def _peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def run_case(path, steps, n0, method, lag_text):
    """In the child: load, time one method, print seconds, peak rise (MiB), input (MiB)."""
    x = np.load(path)
    lags = parse_lags(lag_text)
    loaded = _peak_mib()
    started = time.perf_counter()
    if method == "numpy":
        logs = np.log(np.abs(x))
        logs -= logs.mean()
        [float(np.sum(logs[:, :-lag] * logs[:, lag:])) for lag in lags]
    else:
        from cascade.stats import lag_covariance

        lag_covariance(x, steps, n0, list(lags))
    seconds = time.perf_counter() - started
    print(f"{seconds:.3f} {_peak_mib() - loaded:.0f} {x.nbytes / 2 ** 20:.0f}")


def measured(path, steps, n0, method, lag_text):
    result = subprocess.run([sys.executable, __file__, "--case", path, str(steps), str(n0), method, lag_text],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        sys.exit(f"lag_covariance_compare: {method} failed: {result.stderr.decode().strip()}")
    seconds, extra, size = result.stdout.split()
    return float(seconds), float(extra), float(size)


def ensemble_file(folder, shape):
    import cascade

    realizations, steps, n0 = shape
    path = os.path.join(folder, f"ensemble-{realizations}-{steps}-{n0}.npy")
    np.save(path, cascade.generate_ensemble(0.5, steps, n0, range(1, realizations + 1), generator="philox"))
    return path


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    folder = tempfile.mkdtemp(prefix="cascade-bench-")
    count = SMALL[2] << SMALL[1]
    eight = ",".join(map(str, EIGHT_LAGS))
    cases = [(ENSEMBLE, "numpy", eight, "8 lags"), (ENSEMBLE, "lag_covariance", eight, "8 lags"),
             (ONE_CELL, "numpy", eight, "8 lags"), (ONE_CELL, "lag_covariance", eight, "8 lags"),
             (ENSEMBLE, "numpy", "1..2000", "2000 lags"), (ENSEMBLE, "lag_covariance", "1..2000", "2000 lags"),
             (SMALL, "lag_covariance", f"1..{count - 1}", f"all {count - 1} lags")]
    files = {shape: ensemble_file(folder, shape) for shape in {ENSEMBLE, ONE_CELL, SMALL}}
    print(f"{'ensemble':<16} {'lags':<16} {'method':<16} {'seconds':>8} {'extra MiB':>10} {'input MiB':>10}")
    for shape, method, lag_text, lag_name in cases:
        for _ in range(repeats):
            seconds, extra, size = measured(files[shape], shape[1], shape[2], method, lag_text)
            name = f"{shape[0]} x {shape[2]} x 2^{shape[1]}"
            print(f"{name:<16} {lag_name:<16} {method:<16} {seconds:>8.2f} {extra:>10.0f} {size:>10.0f}", flush=True)
    for path in files.values():
        os.unlink(path)
    os.rmdir(folder)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--case"]:
        run_case(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6])
    else:
        main()
