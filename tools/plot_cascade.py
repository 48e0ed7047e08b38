#!/usr/bin/env python3
"""Draws docs/cascade.png: series for three lambdas from one seed on one scale,
the running mean of log|x| that shows their bursts cluster, and the measured
lag covariance of log|x| against theory. See --help.

Exit status: 0 the picture was written (its path is printed), 1 it was
written but its path could not be printed, 2 it was not written (one line on
standard error says why).
"""
import os
import re
import sys
import warnings

import python_with_numpy

python_with_numpy.prepare("plot_cascade", "numpy", "scipy", "matplotlib")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

import matplotlib  # noqa: E402  (checked above)

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from cascade.stats import _estimates, _theory  # noqa: E402
from cascade.stats import simulate  # noqa: E402
import figure_tool  # noqa: E402

TOOL = "plot_cascade"
# The seconds that --seed takes, as the program's own --seed does.
SEED_LIMIT = 2**31 - 1
# A whole number as the program reads one: digits, perhaps after a '+'.
WHOLE = re.compile(r"\+?[0-9]+")
LAMBDAS = (0.0, 0.3, 0.6)
COLOURS = ("0.45", "tab:blue", "tab:red")
# The running mean of log|x| spans this share of a cell: long enough to calm log|g|, short enough to show bursts.
RUNNING_MEAN_SHARE = 1 / 64


PlotError = figure_tool.PlotError


def whole_number(option, least, most=None):
    """An argparse type: a whole number from `least` (to `most`), as the program takes its words."""
    def convert(text):
        value = int(text) if WHOLE.fullmatch(text) else None
        if value is None or value < least or (most is not None and value > most):
            limits = f"from {least} to {most}" if most is not None else f"of at least {least}"
            raise PlotError(f"{option} must be a whole number {limits}, got '{text}'")
        return value
    return convert


def make_parser():
    parser = figure_tool.Parser(
        prog="plot_cascade.py", allow_abbrev=False, add_help=False,
        description="Draws the first cell of `cascade --seed T lambda N n0` for lambda = 0, 0.3 and 0.6 "
                    "(one seed, so the same deviates) on one y-scale, the running mean of log|x| over "
                    "those cells, and C(l) measured on the whole runs against theory.",
        epilog="exit status: 0 the picture was written (its path is printed), 1 it was written but its path "
               "could not be printed, 2 it was not written.")
    parser.add_argument("--help", action="store_true", help="show this help and exit")
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "cascade"),
                        help="the cascade program to run (default: build/cascade in the source tree)")
    parser.add_argument("--seed", type=whole_number("--seed", 0, SEED_LIMIT), default=1700000000,
                        help=f"the seed T of the runs, 0 to {SEED_LIMIT} (default: %(default)s)")
    parser.add_argument("--step-number", type=whole_number("--step-number", 1), default=12, metavar="N",
                        help="doubling steps of the runs, at least 1 (default: %(default)s)")
    parser.add_argument("--n0", type=whole_number("--n0", 1), default=64, metavar="N",
                        help="initial cells of the runs, at least 1 (default: %(default)s)")
    parser.add_argument("--output", default=os.path.join(ROOT, "docs", "cascade.png"), metavar="FILE",
                        help="the picture to write, in a folder that exists; its extension picks the format "
                             "(png, pdf, svg, ...) (default: docs/cascade.png in the source tree)")
    return parser


def check_options(options, figure):
    if not (os.path.isfile(options.program) and os.access(options.program, os.X_OK)):
        raise PlotError(f"--program '{options.program}' is not an executable file")
    figure_tool.check_output(options.output, figure)


def running_mean(values, width):
    sums = np.cumsum(np.concatenate([[0.0], values]))
    return (sums[width:] - sums[:-width]) / width


# Cells this short are drawn point by point.
MARKED_CELL = 64


def draw_series(axis, values, lam, colour):
    marker = "o" if values.size <= MARKED_CELL else None
    axis.plot(np.arange(1, values.size + 1), values, color=colour, linewidth=0.4, marker=marker, markersize=3)
    axis.set_ylabel("x")
    axis.set_title(f"λ = {lam:g}", loc="left", fontsize=10)
    axis.margins(x=0)


def draw_log_magnitude(axis, values, lam, colour, width):
    logs = np.log(np.abs(values[values != 0]))
    smooth = running_mean(logs, min(width, logs.size))
    axis.plot(np.arange(smooth.size) + (width + 1) / 2, smooth, color=colour, linewidth=0.8, label=f"λ = {lam:g}")
    axis.margins(x=0)


def covariance_rows(values, lam, steps, n0):
    """C(l) at l = 1, 2, 4, ... with error bars from the spread of the 2 n0 independent half-cells."""
    lags = _estimates.lags_checked(steps, values.size)
    half_cell = values.size // (2 * n0)
    sums = _estimates.block_sums(values, half_cell, lags)  # (half-cells, columns)
    first = len(_estimates.ROWS_BEFORE_LAGS)
    estimates = _estimates.rows(sums, lam, values.size, lags)[first:]
    per_half_cell = _estimates.rows(sums[:, None, :], lam, half_cell, lags)[:, first:]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # one half-cell gives no spread: no error bar
        errors = np.nanstd(per_half_cell, axis=0, ddof=1) / np.sqrt(2 * n0)
    return np.array(lags), estimates, errors


def draw_covariance(axis, values, lam, steps, n0, colour):
    lags, estimates, errors = covariance_rows(values, lam, steps, n0)
    axis.errorbar(np.log2(lags), estimates, yerr=errors, fmt="o", color=colour, markersize=4, capsize=2,
                  label=f"measured, λ = {lam:g}")
    smooth = np.unique(np.round(np.logspace(0, np.log2(lags[-1]), 200, base=2)).astype(int))
    axis.plot(np.log2(smooth), [_theory.lag_covariance(lam, steps, values.size, lag) for lag in smooth],
              color=colour, linewidth=1, label=f"theory, λ = {lam:g}")


def draw(options, figure):
    steps, n0 = options.step_number, options.n0
    cell = 1 << steps
    width = max(1, int(cell * RUNNING_MEAN_SHARE))
    grid = figure.add_gridspec(len(LAMBDAS) + 1, 2, width_ratios=(1.35, 1))
    series_axes = [figure.add_subplot(grid[0, 0])]
    series_axes += [figure.add_subplot(grid[i, 0], sharex=series_axes[0], sharey=series_axes[0])
                    for i in range(1, len(LAMBDAS))]
    log_axis = figure.add_subplot(grid[len(LAMBDAS), 0], sharex=series_axes[0])
    covariance_axis = figure.add_subplot(grid[:, 1])
    os.environ["CASCADE_BINARY"] = options.program
    for axis, lam, colour in zip(series_axes, LAMBDAS, COLOURS):
        try:
            values = simulate.program_output_series(lam, steps, n0, options.seed)
        except simulate.SimulationError as error:
            raise PlotError(str(error)) from None
        draw_series(axis, values[:cell], lam, colour)
        draw_log_magnitude(log_axis, values[:cell], lam, colour, width)
        draw_covariance(covariance_axis, values, lam, steps, n0, colour)
    lambdas = ", ".join(f"{lam:g}" for lam in LAMBDAS)
    which = "the one cell" if n0 == 1 else f"the first of {n0} cells"
    figure.suptitle(f"cascade --seed {options.seed} λ {steps} {n0}, for λ = {lambdas}: "
                    f"{which} ({cell} values each)", fontsize=11)
    series_axes[0].set_title("all three on one y-scale", loc="right", fontsize=9)
    log_axis.set_ylabel(f"mean log|x|\nover {width}")
    log_axis.set_xlabel("position in the cell")
    log_axis.xaxis.set_major_locator(matplotlib.ticker.MaxNLocator(integer=True))
    log_axis.legend(fontsize=8, ncol=3, loc="lower left")
    covariance_axis.axhline(0, color="black", linewidth=0.5)
    covariance_axis.set_xlabel("lag ℓ (log2 scale: ℓ = 2^k)")
    covariance_axis.set_ylabel("covariance of log|x| at lag ℓ")
    covariance_axis.set_title("C(ℓ) drops by λ²/n per doubling of ℓ", fontsize=10)
    covariance_axis.xaxis.set_major_locator(matplotlib.ticker.MaxNLocator(integer=True))
    covariance_axis.xaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda k, _: f"$2^{{{k:g}}}$"))
    covariance_axis.legend(fontsize=9)



def main(words):
    plt.rcParams.update({"font.size": 10})
    figure = plt.figure(figsize=(10, 8), layout="constrained")
    return figure_tool.run(TOOL, words, make_parser, check_options, draw, figure, dpi=100)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
