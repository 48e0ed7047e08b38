"""Delete-one jackknife over independent units (cells, or realizations).

An estimate that is a smooth function of sums over units is taken from all
the units, and again with each unit left out; the spread of those
leave-one-out estimates gives the standard error, and Student's t with
units - 1 degrees of freedom the interval."""
import numbers

import numpy as np
from scipy import stats as scipy_stats

from ._errors import UncheckableSeries

# An error this small beside its estimate is the rounding of sums that are alike in every unit.
LEAST_RELATIVE_ERROR = 1e-12


def _deviations(per_unit, estimate_of):
    """(estimate, leave-one-out estimates less their mean (units, estimates))."""
    units = per_unit.shape[0]
    totals = per_unit.sum(axis=0)
    estimate = estimate_of(totals, units)
    flat = estimate_of(totals - per_unit, units - 1).reshape(units, -1)
    return estimate, flat - flat.mean(axis=0)


def delete_one(per_unit, estimate_of):
    """(estimate, covariance, standard errors) of estimate_of(totals, units) (an array),
    from per_unit (units, ...) sums; estimate_of must take totals of shape (..., columns)
    with a leading axis of leave-one-out cases."""
    units = per_unit.shape[0]
    estimate, deviations = _deviations(per_unit, estimate_of)
    covariance = (units - 1) / units * deviations.T @ deviations
    return estimate, covariance, np.sqrt(np.diag(covariance)).reshape(np.shape(estimate))


def delete_one_errors(per_unit, estimate_of):
    """(estimate, standard errors) as delete_one gives them, without the covariance of every
    pair of estimates (for many estimates, a large matrix)."""
    units = per_unit.shape[0]
    estimate, deviations = _deviations(per_unit, estimate_of)
    variance = (units - 1) / units * (deviations * deviations).sum(axis=0)
    return estimate, np.sqrt(variance).reshape(np.shape(estimate))


def checked_level(level):
    """`level` as a float strictly between 0 and 1; TypeError or ValueError naming it otherwise."""
    if isinstance(level, (bool, np.bool_)) or not isinstance(level, numbers.Real):
        raise TypeError(f"level must be a number between 0 and 1, got {type(level).__name__} {level!r}")
    if not 0.0 < float(level) < 1.0:  # nan fails too
        raise ValueError(f"level must lie strictly between 0 and 1, got {level!r}")
    return float(level)


def refuse_unformed(estimator, labels, estimate, error):
    """UncheckableSeries naming the first of `labels` (one per estimate) whose estimate or error is
    not finite, or whose error is 0 against it: an interval that would mean nothing."""
    estimate, error = np.ravel(estimate), np.ravel(error)
    with np.errstate(invalid="ignore"):
        unformed = ~(np.isfinite(estimate) & np.isfinite(error))
        alike = ~unformed & ~(error > LEAST_RELATIVE_ERROR * np.abs(estimate))
    if unformed.any():
        label = labels[int(np.argmax(unformed))]
        raise UncheckableSeries(f"{estimator}: {label} has no finite jackknife error")
    if alike.any():
        label = labels[int(np.argmax(alike))]
        raise UncheckableSeries(f"{estimator}: {label} is the same with any cell left out, so its jackknife "
                                f"error is 0: the cells are all alike (a constant series?)")


def t_quantile(units, level=0.95):
    """The two-sided `level` point of Student's t for a jackknife over `units` units."""
    return float(scipy_stats.t.ppf(0.5 + level / 2, units - 1))
