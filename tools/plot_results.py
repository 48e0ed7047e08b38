#!/usr/bin/env python3
"""Draws the pictures of docs/statistics.md: each estimator's result drawn by its own
.plot() (lag_covariance, structure_functions, scaling_exponents, log_cumulants,
compare_laws, check), from one philox ensemble of the binomial law, into
FOLDER/result_NAME.png, small enough to keep in the repository.

Usage: plot_results.py [FOLDER]   (default: docs/ of this tree)

Exit status: 0 the pictures were written (their paths are printed), 2 they were not
(one line on standard error says why).
"""
import os
import sys

import python_with_numpy

python_with_numpy.prepare("plot_results", "numpy", "scipy", "matplotlib")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

import matplotlib  # noqa: E402  (checked above)

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import cascade  # noqa: E402
from cascade import stats  # noqa: E402
import figure_tool  # noqa: E402

TOOL = "plot_results"
# One ensemble for every picture: 8 realizations of 64 cells of 2^10 values, binomial, lambda 1.
LAM, STEPS, N0, REALIZATIONS, LAW = 1.0, 10, 64, 8, "binomial"
DPI = 60


def results():
    x = cascade.generate_ensemble(LAM, STEPS, N0, range(1, REALIZATIONS + 1), generator="philox", law=LAW)
    shape = dict(lam=LAM, law=LAW, realizations=REALIZATIONS)
    return {
        "lag_covariance": stats.lag_covariance(x, STEPS, N0, 2 ** np.arange(0, STEPS + 3), **shape),
        "structure_functions": stats.structure_functions(x, STEPS, N0, [2.0, 4.0], 2 ** np.arange(1, 8), **shape),
        "scaling_exponents": stats.scaling_exponents(x, STEPS, N0, np.linspace(0.5, 4.0, 8), 2 ** np.arange(2, 8),
                                                     **shape),
        "log_cumulants": stats.log_cumulants(x, STEPS, N0, **shape),
        "compare_laws": stats.compare_laws(x, STEPS, N0, lam=LAM, realizations=REALIZATIONS),
        "check": stats.check(x, STEPS, N0, **shape),
    }


def main(words):
    if words[:1] in (["--help"], ["-h"]):
        return figure_tool.written(TOOL, __doc__, "to standard output")
    if len(words) > 1:
        print(f"{TOOL}: expected at most one FOLDER, got {len(words)} words", file=sys.stderr)
        return 2
    folder = words[0] if words else os.path.join(ROOT, "docs")
    if not os.path.isdir(folder):
        print(f"{TOOL}: folder '{folder}' does not exist", file=sys.stderr)
        return 2
    paths = []
    for name, result in results().items():
        figure, ax = plt.subplots(figsize=(7, 3.6), layout="constrained")
        result.plot(ax=ax)
        path = os.path.join(folder, f"result_{name}.png")
        figure_tool.save(figure, path, DPI)
        plt.close(figure)
        paths.append(path)
    return figure_tool.written(TOOL, "".join(f"wrote {path}\n" for path in paths), "the pictures' paths")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
