"""Delete-one jackknife over independent units (cells, or realizations).

An estimate that is a smooth function of sums over units is taken from all
the units, and again with each unit left out; the spread of those
leave-one-out estimates gives the standard error, and Student's t with
units - 1 degrees of freedom the interval."""
import numpy as np
from scipy import stats as scipy_stats


def delete_one(per_unit, estimate_of):
    """(estimate, covariance, standard errors) of estimate_of(totals, units) (an array),
    from per_unit (units, ...) sums; estimate_of must take totals of shape (..., columns)
    with a leading axis of leave-one-out cases."""
    units = per_unit.shape[0]
    totals = per_unit.sum(axis=0)
    estimate = estimate_of(totals, units)
    left_out = estimate_of(totals - per_unit, units - 1)
    flat = left_out.reshape(units, -1)
    deviations = flat - flat.mean(axis=0)
    covariance = (units - 1) / units * deviations.T @ deviations
    return estimate, covariance, np.sqrt(np.diag(covariance)).reshape(np.shape(estimate))


def t_quantile(units, level=0.95):
    """The two-sided `level` point of Student's t for a jackknife over `units` units."""
    return float(scipy_stats.t.ppf(0.5 + level / 2, units - 1))
