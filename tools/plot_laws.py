#!/usr/bin/env python3
"""Draws docs/laws.png: the series of the four multiplier laws from one philox
seed and lambda, one above the other, and each law's scaling exponent zeta(q)
measured from the box energies of its series against theory. See --help.

Exit status: 0 the picture was written (its path is printed), 1 it was
written but its path could not be printed, 2 it was not written (one line on
standard error says why).
"""
import os
import re
import sys

import python_with_numpy

python_with_numpy.prepare("plot_laws", "numpy", "scipy", "matplotlib")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

import matplotlib  # noqa: E402  (checked above)

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import cascade  # noqa: E402
from cascade.stats import theory  # noqa: E402
import figure_tool  # noqa: E402

TOOL = "plot_laws"
LAWS = tuple(cascade.laws())
COLOURS = ("tab:blue", "tab:orange", "tab:green", "tab:red")
SEED_LIMIT = 2**64 - 1  # a philox key
WHOLE = re.compile(r"\+?[0-9]+")
ORDERS = np.array([-1.0, -0.5, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0])
# Box lengths 2^SHORTEST_BOX_STEPS and up: short boxes keep much of g^2's own law in their moments.
SHORTEST_BOX_STEPS = 4


PlotError = figure_tool.PlotError


def number(option, convert, least, most=None):
    """An argparse type: a number from `least` (to `most`)."""
    def read(text):
        try:
            value = convert(text) if convert is float or WHOLE.fullmatch(text) else None
        except ValueError:
            value = None
        if value is None or not np.isfinite(value) or value < least or (most is not None and value > most):
            limits = f"from {least} to {most}" if most is not None else f"of at least {least}"
            kind = "a whole number" if convert is int else "a number"
            raise PlotError(f"{option} must be {kind} {limits}, got '{text}'")
        return value
    return read


def make_parser():
    parser = figure_tool.Parser(
        prog="plot_laws.py", allow_abbrev=False, add_help=False,
        description="Draws the first cell of the series of each multiplier law (cascade.generate with the "
                    "philox stream, one seed and lambda, so that the laws differ only in their factors), one "
                    "above the other, and zeta(q) measured from each series' box energies against theory.",
        epilog="exit status: 0 the picture was written (its path is printed), 1 it was written but its path "
               "could not be printed, 2 it was not written.")
    parser.add_argument("--help", action="store_true", help="show this help and exit")
    parser.add_argument("--seed", type=number("--seed", int, 0, SEED_LIMIT), default=1,
                        help=f"the philox key of the runs, 0 to {SEED_LIMIT} (default: %(default)s)")
    parser.add_argument("--lambda", dest="lam", type=number("--lambda", float, 0.0, 4.0), default=1.5,
                        metavar="L", help="lambda of the runs, 0 to 4 (default: %(default)s)")
    parser.add_argument("--step-number", type=number("--step-number", int, SHORTEST_BOX_STEPS + 2, 20),
                        default=12, metavar="N",
                        help=f"doubling steps of the runs, {SHORTEST_BOX_STEPS + 2} to 20 (default: %(default)s)")
    parser.add_argument("--n0", type=number("--n0", int, 1, 4096), default=64, metavar="N",
                        help="initial cells of the runs, 1 to 4096 (default: %(default)s)")
    parser.add_argument("--output", default=os.path.join(ROOT, "docs", "laws.png"), metavar="FILE",
                        help="the picture to write, in a folder that exists; its extension picks the format "
                             "(png, pdf, svg, ...) (default: docs/laws.png in the source tree)")
    return parser


def check_options(options, figure):
    figure_tool.check_output(options.output, figure)


def measured_zeta(values, steps, n0, orders=ORDERS):
    """zeta(q): the slope of log2 <e^(q/2)> against log2 L, e = (box energy) / L over the boxes of
    L = 2^m values, m = SHORTEST_BOX_STEPS .. steps. A box k = steps - m steps down has
    e = W_k^2 Z, Z its mean squared value below it, so <e^(q/2)> = 2^(-k zeta(q)) E[Z^(q/2)]:
    the slope is zeta(q) where E[Z^(q/2)] no longer changes with m (Z tends to a limit)."""
    squares = (values * values).reshape(n0, 1 << steps)
    lengths = np.arange(SHORTEST_BOX_STEPS, steps + 1)
    logs = []
    for m in lengths:
        energies = squares.reshape(n0, -1, 1 << m).mean(axis=-1).ravel()
        logs.append(np.log2(np.mean(energies[None, :] ** (orders[:, None] / 2), axis=1)))
    return np.polyfit(lengths, np.array(logs), 1)[0]


def draw(options, figure):
    steps, n0, lam, seed = options.step_number, options.n0, options.lam, options.seed
    cell = 1 << steps
    grid = figure.add_gridspec(len(LAWS), 2, width_ratios=(1.5, 1))
    series_axes = [figure.add_subplot(grid[0, 0])]
    series_axes += [figure.add_subplot(grid[i, 0], sharex=series_axes[0], sharey=series_axes[0])
                    for i in range(1, len(LAWS))]
    zeta_axis = figure.add_subplot(grid[:, 1])
    smooth = np.linspace(ORDERS[0], ORDERS[-1], 200)
    for axis, law, colour in zip(series_axes, LAWS, COLOURS):
        values = cascade.generate(lam, steps, n0, seed, generator="philox", law=law)
        axis.plot(np.arange(1, cell + 1), values[:cell], color=colour, linewidth=0.3)
        axis.set_title(law, loc="left", fontsize=10)
        axis.set_ylabel("x")
        axis.margins(x=0)
        zeta_axis.plot(ORDERS, measured_zeta(values, steps, n0), "o", color=colour, markersize=4,
                       label=f"{law}, measured")
        zeta_axis.plot(smooth, theory(lam, steps, n0, law=law).zeta(smooth), color=colour, linewidth=1,
                       label=f"{law}, theory")
    series_axes[-1].set_xlabel("position in the cell")
    figure.suptitle(f"cascade.generate({lam:g}, {steps}, {n0}, {seed}, generator=\"philox\", law=...): "
                    f"the first of {n0} cells ({cell} values), one y-scale", fontsize=11)
    zeta_axis.axhline(0, color="black", linewidth=0.5)
    zeta_axis.set_xlabel("q")
    zeta_axis.set_ylabel("ζ(q) = −log2 E[W^q]")
    zeta_axis.set_title(f"ζ(q): slope of log2⟨(E_L/L)^(q/2)⟩ over L = 2^{SHORTEST_BOX_STEPS} … 2^{steps}",
                        fontsize=9)
    zeta_axis.legend(fontsize=7)



def main(words):
    plt.rcParams.update({"font.size": 10})
    figure = plt.figure(figsize=(11, 7.5), layout="constrained")
    return figure_tool.run(TOOL, words, make_parser, check_options, draw, figure, dpi=80)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
