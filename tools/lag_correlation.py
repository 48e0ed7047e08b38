#!/usr/bin/env python3
"""The lag correlation of x, of log|x| and of x^2 at lambda = 0 for both
streams: a table each, the Ljung-Box test over lags 1 to 100, and
docs/lag_correlation.png (x's).

At lambda = 0 every value is an independent standard normal deviate in
theory, so every lag correlation is 0 within about 1/sqrt(n). The
subtractive stream's lag-55 recurrence, seen through the polar pairs,
correlates values 33 to 53 apart (odd lags), and the magnitudes, which the
estimators of the scaling use, 30 to 59 apart; the philox stream has no such
structure. Cov(log|x_i|, log|x_j|) is the correlation times pi^2/8: the
tool gives it for lags 30 to 59, the standard error beside it.

    tools/lag_correlation.py [--program build/cascade] [--figure docs/lag_correlation.png]

Exit status: 0 done, 2 it could not be done (one line on standard error).
"""
import argparse
import os
import subprocess
import sys

import python_with_numpy

python_with_numpy.prepare("lag_correlation", "numpy", "scipy", "matplotlib")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

import numpy as np  # noqa: E402  (checked above)
from scipy import stats  # noqa: E402

from cascade.stats import _files  # noqa: E402  (written whole, through a file of its own, or not at all)

MAX_LAG = 100
# Four series of 2^22 values: z of a lag correlation is about r * 2^12.
SEEDS = (1, 2, 3, 4)
STEPS = 22
# A lag is listed when |z| exceeds this in either stream: about 1 lag in 16000 would by chance.
Z_SHOWN = 4.0


def series(program, generator, seed, steps=STEPS):
    """The program's series at lambda = 0, binary."""
    words = [program, "--generator", generator, "--seed", str(seed), "--binary", "--no-progress", "0", str(steps), "1"]
    result = subprocess.run(words, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(words)} failed: {result.stderr.decode(errors='replace').strip()}")
    return np.frombuffer(result.stdout, dtype="<f8")


# What is correlated: the values, their log-magnitudes (an exact 0, which has no log,
# never comes at lambda = 0 in these series) and their squares.
TRANSFORMS = {"x": lambda x: x, "log|x|": lambda x: np.log(np.abs(x)), "x²": lambda x: x * x}


def lag_correlations(all_series, max_lag=MAX_LAG, transform=TRANSFORMS["x"]):
    """r(1) .. r(max_lag) of transform(x) pooled over the series (each centred
    on its own mean), and the number of values n."""
    products = np.zeros(max_lag + 1)
    count = 0
    for x in all_series:
        x = transform(x)
        centred = x - x.mean()
        size = 1 << int(np.ceil(np.log2(2 * centred.size)))
        spectrum = np.fft.rfft(centred, size)
        products += np.fft.irfft(spectrum * np.conj(spectrum), size)[: max_lag + 1]
        count += centred.size
    return products[1:] / products[0], count


# Where the subtractive stream's recurrence shows in the magnitudes, which the
# estimators of the scaling use.
WINDOW = (30, 59)
# Var log|g| = pi^2/8 turns a correlation of log|x| into the covariance that C(l) measures.
COVARIANCE_SCALE = {"log|x|": np.pi ** 2 / 8}


def window(r, n, scale=1.0):
    """Over the lags of WINDOW: the largest |z|, its lag, the largest |r| times
    scale (a covariance, with scale the variance) and that one's standard error."""
    low, high = WINDOW
    part = np.abs(r[low - 1:high])
    lag = low + int(np.argmax(part))
    return part.max() * np.sqrt(n), lag, part.max() * scale, scale / np.sqrt(n)


def ljung_box(r, n):
    """Q over lags 1 .. len(r) and its p-value against chi-squared with len(r) degrees of freedom."""
    lags = np.arange(1, r.size + 1)
    q = n * (n + 2) * np.sum(r * r / (n - lags))
    return q, stats.chi2.sf(q, r.size)


def print_table(name, results):
    """The lags where either stream's |z| passes Z_SHOWN, and Ljung-Box for each stream."""
    n = results["philox"][1]
    shown = [lag for lag in range(1, MAX_LAG + 1)
             if any(abs(results[g][0][lag - 1]) * np.sqrt(n) > Z_SHOWN for g in results)]
    print(f"\n{name}: every lag of 1-{MAX_LAG} with |z| > {Z_SHOWN:g} in either stream ({len(shown)} lags; "
          f"all others have |z| <= {Z_SHOWN:g} in both):\n")
    print("| lag | subtractive r | z | philox r | z |")
    print("|---|---|---|---|---|")
    for lag in shown:
        row = [f"{results[g][0][lag - 1]:+.5f} | {results[g][0][lag - 1] * np.sqrt(n):+.1f}" for g in results]
        print(f"| {lag} | {' | '.join(row)} |")
    print()
    for generator, (r, count) in results.items():
        q, p = ljung_box(r, count)
        largest = int(np.argmax(np.abs(r))) + 1
        print(f"Ljung-Box over lags 1-{MAX_LAG} of {name}, {generator}: Q = {q:.0f} (expected {MAX_LAG} ± "
              f"{np.sqrt(2 * MAX_LAG):.0f}), p = {p:.3g}; largest |z| {abs(r[largest - 1]) * np.sqrt(count):.1f} "
              f"at lag {largest}")
    low, high = WINDOW
    for generator, (r, count) in results.items():
        z, lag, covariance, error = window(r, count, COVARIANCE_SCALE.get(name, 1.0))
        said = f"; |covariance| up to {covariance:.5f} (standard error {error:.5f})" if name in COVARIANCE_SCALE else ""
        print(f"Over lags {low}-{high} of {name}, {generator}: largest |z| {z:.1f} at lag {lag}{said}")


def main(words):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "cascade"))
    parser.add_argument("--figure", default=os.path.join(ROOT, "docs", "lag_correlation.png"))
    options = parser.parse_args(words)
    every = {}
    try:
        made = {generator: [series(options.program, generator, s) for s in SEEDS]
                for generator in ("subtractive", "philox")}
    except (RuntimeError, OSError) as error:
        sys.stderr.write(f"lag_correlation: {error}\n")
        return 2
    for name, transform in TRANSFORMS.items():
        every[name] = {generator: lag_correlations(rows, transform=transform) for generator, rows in made.items()}
    print(f"lambda = 0, {len(SEEDS)} x 2^{STEPS} values (seeds {SEEDS[0]} .. {SEEDS[-1]}), z = r sqrt(n)")
    for name, results in every.items():
        print_table(name, results)
    results = every["x"]
    n = results["philox"][1]

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axis = plt.subplots(figsize=(9, 4), layout="constrained")
    lags = np.arange(1, MAX_LAG + 1)
    band = 3 / np.sqrt(n)
    axis.fill_between([0, MAX_LAG + 1], -band, band, color="0.9", label="±3/√n")
    for (generator, (r, _)), colour in zip(results.items(), ("tab:red", "tab:blue")):
        axis.plot(lags, r, "o-", markersize=3, linewidth=0.8, color=colour, label=generator)
    axis.axhline(0, color="black", linewidth=0.5)
    axis.set_xlim(0, MAX_LAG + 1)
    axis.set_xlabel("lag")
    axis.set_ylabel("correlation of x")
    axis.set_title(f"λ = 0: lag correlation of x, {len(SEEDS)} × 2^{STEPS} values per stream", fontsize=10)
    axis.legend(fontsize=9)
    try:
        _files.replace(options.figure, lambda stream: figure.savefig(
            stream, dpi=100, format=os.path.splitext(options.figure)[1].lstrip(".").lower() or "png"))
    except (OSError, ValueError) as error:
        sys.stderr.write(f"lag_correlation: cannot write {options.figure}: {getattr(error, 'strerror', None) or error}\n")
        return 2
    print(f"\n{options.figure}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
