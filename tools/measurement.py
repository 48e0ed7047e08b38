"""What the measurement scripts behind the tables of docs/statistics.md share: the package
on the path, the shapes of the tables, series from many seeds, the table."""
import argparse
import sys
import time

import python_with_numpy

python_with_numpy.prepare("measurement", "numpy", "scipy")

import numpy as np  # noqa: E402  (checked above)

from cascade.stats import simulate  # noqa: E402

# (step_number, n0): three ways to hold 2^16 values.
SHAPES = [(10, 64), (12, 16), (16, 1)]
# (step_number, n0, realizations): an ensemble of the shape with fewest cells.
ENSEMBLE = (16, 1, 20)


def shape_name(steps, n0, realizations=1):
    shape = f"{n0} × 2^{steps}"
    return shape if realizations == 1 else f"{realizations} realizations of {shape}"


def simulated_rows(lam, steps, n0, seeds):
    """One simulated series (the program's, made in this process) per seed, as rows."""
    return np.array([simulate.simulate(lam, steps, n0, seed) for seed in seeds])


def parse_seeds(description, default, *more):
    """--seeds, and for each (option, default, help) in `more` another count; all as a tuple."""
    parser = argparse.ArgumentParser(description=description, allow_abbrev=False)
    parser.add_argument("--seeds", type=int, default=default,
                        help="seeds (series) per line of the table (default: %(default)s)")
    for option, count, text in more:
        parser.add_argument(option, type=int, default=count, help=f"{text} (default: %(default)s)")
    options = vars(parser.parse_args())
    return options["seeds"] if not more else tuple(options.values())


def failing(judge, series_of, seeds, values_per_series, batch_values):
    """How many of the series series_of(seed) the check's `judge` fails, judged
    in batches of about batch_values values."""
    per_batch = max(1, batch_values // values_per_series)
    count = 0
    for first in range(0, len(seeds), per_batch):
        batch = np.array([series_of(seed) for seed in seeds[first:first + per_batch]])
        count += int((~judge(batch)).sum())
    return count


def print_table(header, lines):
    """A Markdown table, flushed line by line so that a long measurement shows its progress."""
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header), flush=True)
    started = time.monotonic()
    for line in lines:
        print("| " + " | ".join(line) + " |", flush=True)
    print(f"\n({time.monotonic() - started:.0f} s)", file=sys.stderr)


def share(count, total):
    return f"{100 * count / total:.1f}% ({count}/{total})"
