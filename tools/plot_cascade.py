#!/usr/bin/env python3
"""Draws docs/cascade.png: series for three lambdas from one seed, and their
measured lag covariance of log|x| against theory.

usage: plot_cascade.py [--program PATH] [--seed T] [--step-number N] [--n0 N] [--output FILE]
"""
import argparse
import os
import subprocess
import sys

import python_with_numpy

python_with_numpy.require("plot_cascade", "numpy", "matplotlib")

import matplotlib  # noqa: E402  (checked above)

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import cascade_estimates  # noqa: E402
import cascade_theory  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAMBDAS = (0.0, 0.3, 0.6)
COLOURS = ("0.45", "tab:blue", "tab:red")


def run_program(program, seed, lam, steps, n0):
    words = [program, "--seed", str(seed), f"{lam:g}", str(steps), str(n0)]
    result = subprocess.run(words, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        sys.exit(f"plot_cascade: {' '.join(words)} failed: {result.stderr.decode().strip()}")
    return np.array(result.stdout.split(), dtype=np.float64)


def draw_series(axis, values, lam, colour):
    axis.plot(np.arange(1, values.size + 1), values, color=colour, linewidth=0.4)
    axis.set_ylabel("x")
    axis.set_title(f"λ = {lam:g}", loc="left")
    axis.margins(x=0)


def draw_covariance(axis, check, lam, steps, count, colour):
    rows = [row for row in check.rows if row.name.startswith("C(")]
    lags = np.array([int(row.name[2:-1]) for row in rows])
    axis.errorbar(np.log2(lags), [row.estimate for row in rows], yerr=[row.standard_error for row in rows],
                  fmt="o", color=colour, markersize=4, capsize=2, label=f"measured, λ = {lam:g}")
    smooth = np.unique(np.round(np.logspace(0, np.log2(lags[-1]), 200, base=2)).astype(int))
    axis.plot(np.log2(smooth), [cascade_theory.lag_covariance(lam, steps, count, lag) for lag in smooth],
              color=colour, linewidth=1, label=f"theory, λ = {lam:g}")


def main():
    parser = argparse.ArgumentParser(description="Draw the cascade figure.")
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "cascade"))
    parser.add_argument("--seed", type=int, default=1700000000)
    parser.add_argument("--step-number", type=int, default=12)
    parser.add_argument("--n0", type=int, default=64)
    parser.add_argument("--output", default=os.path.join(ROOT, "docs", "cascade.png"))
    options = parser.parse_args()
    steps, n0 = options.step_number, options.n0

    plt.rcParams.update({"font.size": 11})
    figure = plt.figure(figsize=(10, 7.2), layout="constrained")
    grid = figure.add_gridspec(len(LAMBDAS), 2, width_ratios=(1.35, 1))
    series_axes = [figure.add_subplot(grid[i, 0]) for i in range(len(LAMBDAS))]
    covariance_axis = figure.add_subplot(grid[:, 1])
    for i, (lam, colour) in enumerate(zip(LAMBDAS, COLOURS)):
        values = run_program(options.program, options.seed, lam, steps, n0)
        draw_series(series_axes[i], values[: 1 << steps], lam, colour)
        check = cascade_estimates.check_series(values, lam, steps, n0)
        draw_covariance(covariance_axis, check, lam, steps, values.size, colour)
    series_axes[-1].set_xlabel(f"position in the first of {n0} cells ({1 << steps} values each)")
    series_axes[0].set_title(f"cascade --seed {options.seed} λ {steps} {n0}", loc="right", fontsize=10)
    covariance_axis.axhline(0, color="black", linewidth=0.5)
    covariance_axis.set_xlabel("lag ℓ (log2 scale: ℓ = 2^k)")
    covariance_axis.set_ylabel("covariance of log|x| at lag ℓ")
    covariance_axis.set_title("C(ℓ) drops by λ²/n per doubling of ℓ")
    covariance_axis.xaxis.set_major_locator(matplotlib.ticker.MultipleLocator(2))
    covariance_axis.xaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda k, _: f"$2^{{{k:g}}}$"))
    covariance_axis.legend(fontsize=9)

    os.makedirs(os.path.dirname(os.path.abspath(options.output)), exist_ok=True)
    figure.savefig(options.output, dpi=100)


if __name__ == "__main__":
    main()
