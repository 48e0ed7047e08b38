#!/usr/bin/env python3
"""How often the statistics check fails correct series of the philox
stream (its reference is simulated with the default stream): the share of
seeds 1 .. S whose check does not agree, on three shapes.

    PYTHONPATH=build/python tools/measure_philox_checks.py [--seeds S]
"""
import argparse

import python_with_numpy

python_with_numpy.prepare("measure_philox_checks", "numpy", "scipy")

import cascade  # noqa: E402
from cascade.stats import check  # noqa: E402

SEEDS = 200
LINES = [(0.4, 10, 64), (0.5, 16, 1), (1.5, 12, 16)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0], allow_abbrev=False)
    parser.add_argument("--seeds", type=int, default=SEEDS, help="seeds per shape (default: %(default)s)")
    seeds = parser.parse_args().seeds
    for lam, steps, n0 in LINES:
        failed = sum(not check(cascade.generate(lam, steps, n0, seed, generator="philox"), steps, n0, lam=lam).agrees
                     for seed in range(1, seeds + 1))
        print(f"philox, {n0} x 2^{steps}, lambda {lam}: {failed}/{seeds} checks fail", flush=True)


if __name__ == "__main__":
    main()
