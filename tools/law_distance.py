#!/usr/bin/env python3
"""How far one law's series sit from another law's check, before any series is
drawn: the centre of each K(L) row of the check's reference under the second
law, in standard deviations of the first law's row, and the shift of the
combined law deviation against its threshold (docs/laws.md). The law
deviation of a series of the second law is about N(shift, 1) under the first
law's check, which tells the power to expect."""
import argparse

import measurement  # noqa: F401  (puts the package on the path)

from cascade.stats import _energy_steps, _estimates, parse_law, reference as _reference  # noqa: E402


def distances(first, second, lam, steps, n0):
    """([(row name, shift in the first law's standard deviations)], the law deviation's shift, its threshold)."""
    lags = _estimates.lags_checked(steps, n0 << steps)
    lengths = _energy_steps.box_lengths(steps)
    a, b = (_reference.reference(lam, steps, n0, lags, law=parse_law(law)) for law in (first, second))
    shift = ((b.centre - a.centre) / a.spread)[-len(lengths):]
    return list(zip(_energy_steps.row_names(lengths), shift)), float(shift @ a.law_weights), a.law_threshold


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__, allow_abbrev=False)
    parser.add_argument("--laws", nargs=2, default=("lognormal", "binomial"), metavar=("CHECKED_AS", "SERIES_OF"))
    parser.add_argument("--shape", default="10,64", metavar="STEPS,N0")
    parser.add_argument("--lambda", dest="lambdas", type=float, action="append", default=None)
    options = parser.parse_args()
    steps, n0 = (int(part) for part in options.shape.split(","))
    for lam in options.lambdas or (1.5, 0.5):
        rows, shift, threshold = distances(*options.laws, lam, steps, n0)
        print(f"λ {lam:g}: " + ", ".join(f"{name} {value:+.2f}" for name, value in rows)
              + f"; law deviation {shift:+.2f} (threshold {threshold:.2f})")
