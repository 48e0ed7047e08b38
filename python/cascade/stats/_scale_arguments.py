"""The arguments the estimators of the scaling share: a series or ensemble
cut into its independent cells, lags or scales within one cell, and the law
and lambda their theory is taken at."""
import numbers

import numpy as np

from ._arguments import run_arguments
from ._check import series_values
from ._laws import parse_law

# Fewer independent cells leave the jackknife's error itself too uncertain to use.
LEAST_UNITS = 8


def cells_of(x, step_number, n0, realizations):
    """(values as (cells, 2^step_number), step_number, cells): each row an independent cell."""
    values, step_number, n0, realizations = series_values(x, step_number, n0, realizations)
    cells = n0 * realizations
    if cells < LEAST_UNITS:
        raise ValueError(f"the jackknife needs at least {LEAST_UNITS} independent cells (n0 times realizations; "
                         f"the values of one cell share its top factors, so for one cell give an ensemble of "
                         f"realizations), got {n0} * {realizations} = {cells}")
    return values.reshape(cells, 1 << step_number), step_number, cells


def _numbers(given, name):
    """`given` as a 1-D array of numbers; TypeError naming `name` and the first item that is
    text, a bool (numpy would take True for 1) or anything else but a real number."""
    if isinstance(given, np.ndarray) and given.dtype.kind in "iuf":
        return np.atleast_1d(given)
    items = np.atleast_1d(np.array(given, dtype=object))
    for position, item in enumerate(items.ravel()):
        if isinstance(item, (bool, np.bool_)) or not isinstance(item, numbers.Real):
            raise TypeError(f"{name} must be real numbers, got {type(item).__name__} {item!r} (item {position})")
    return np.atleast_1d(np.asarray(given))


def _whole_numbers_below(given, name, bound, bound_text):
    """Positive whole numbers below `bound`, as an int64 array; refused in words that name `bound_text`."""
    array = _numbers(given, name)
    if (array.ndim != 1 or array.size == 0 or not np.issubdtype(array.dtype, np.integer)
            or (array < 1).any() or (array >= bound).any()):
        raise ValueError(f"{name} must be whole numbers from 1 to {bound_text}, got {array.tolist()!r}")
    return array.astype(np.int64)


def within_cell(given, name, step_number):
    """Positive whole numbers below the cell length 2^step_number, as an int64 array."""
    length = 1 << step_number
    return _whole_numbers_below(given, name, length, f"2^step_number - 1 = {length - 1} (within one cell)")


def within_series(given, count):
    """Positive whole lags below the series' length `count`, as an int64 array."""
    return _whole_numbers_below(given, "lags", count, f"N - 1 = {count - 1}")


def orders(q):
    """Real orders q > 0, as a float array."""
    array = _numbers(q, "q").astype(float)
    if array.ndim != 1 or array.size == 0 or not np.isfinite(array).all() or (array <= 0).any():
        raise ValueError(f"q must be finite numbers above 0, got {np.asarray(q).tolist()!r}")
    return array


def law_and_lambda(lam, law, step_number):
    """(the Law, lam as a float or None)."""
    law = parse_law(law)
    if lam is None:
        return law, None
    return law, run_arguments(lam, step_number, 1, "philox")[0]
