"""The reference fitted to simulated series: each row's centre and spread,
the rows' correlation, the thresholds, and the simulated series held
against exact theory.

A rule of a few normal standard errors fails at the edges: the mean square
rests on a few enormous values for large lambda (Var x^2 = 3 e^(4 lambda^2) - 1),
and with few cells the log rows rest on a handful of first-step factors, so
their tails are heavier than a normal's. Simulated series carry those tails:
each threshold is the point that its deviation stays within for a share
(ROW_QUANTILE, JOINT_QUANTILE, LAW_QUANTILE) of the reference series.

The centre, spread and correlation come from one half of the simulated
series, and the thresholds from reference series built on the other half:
a correlation estimated from few series fits those series better than
others, and thresholds placed on the very series it was fitted on would be
too tight.

The simulated series are also held against exact theory: each row's mean
over them, against its theoretical value, in its standard errors. Above
lambda = 1 the mean square rests on the few largest values of a few
simulated series: with nothing drawn afresh it is not judged there.

At large lambda (about 20 and more) the doubles underflow: most values are
exactly 0, the mean square of a simulated series may be 0 (minus infinity on
its log scale), and some series leave a row without terms. Such a row has no
simulated mean and spread to measure a deviation by; it is not judged, and
the other rows are judged without it.
"""
import math
from concurrent.futures import ThreadPoolExecutor

import numpy as np
from scipy import stats as scipy_stats

from .. import _energy_steps, _estimates, _theory
from .._errors import UncheckableSeries
from . import plan as _plan, series as _series
from .judge import Reference, comparable, joint_deviation, split_judged

DRAWING_SEED = 20240611
AGREEMENT_QUANTILE = 0.998
ROW_QUANTILE = JOINT_QUANTILE = LAW_QUANTILE = (1 + AGREEMENT_QUANTILE) / 2
THEORY_QUANTILE = 0.999
# The mean square's sample mean is no guide to its mean when x^2 has a tail this heavy.
LARGEST_MEAN_SQUARE_THEORY_LAMBDA = 1.0
# An exact 0 now and then (a Gaussian deviate of 0) moves no row; underflow does.
MOST_ZEROS_FOR_THEORY = 1e-6
TAIL_SHARE = 0.05
# Keeps the correlation of nearly collinear rows (neighbouring lags) invertible.
CORRELATION_RIDGE = 0.02


def decorrelation(deviations):
    """W with W' W = R^-1, R the (ridged) correlation of the rows' deviations."""
    correlation = np.atleast_2d(np.corrcoef(deviations, rowvar=False))
    correlation = (1 - CORRELATION_RIDGE) * correlation + CORRELATION_RIDGE * np.eye(correlation.shape[0])
    return np.linalg.inv(np.linalg.cholesky(correlation))


def tail_point(sample, quantile):
    """The `quantile` point of `sample`, from an exponential fitted to its top TAIL_SHARE:
    the top hundred of a few thousand simulated series place it more steadily than the few beyond it."""
    start = np.quantile(sample, 1 - TAIL_SHARE)
    mean_excess = (sample[sample > start] - start).mean()
    return float(start + mean_excess * np.log(TAIL_SHARE / (1 - quantile)))


def law_combination(fitted_deviations, placing_deviations):
    """The law rows' weights, fitted on one half, and the point that the other half's law deviation stays within."""
    if fitted_deviations.shape[1] == 0:
        return np.zeros(0), math.nan
    correlation = np.atleast_2d(np.corrcoef(fitted_deviations, rowvar=False))
    correlation = (1 - CORRELATION_RIDGE) * correlation + CORRELATION_RIDGE * np.eye(correlation.shape[0])
    weights = _energy_steps.combination(correlation)
    return weights, tail_point(np.abs(placing_deviations @ weights), LAW_QUANTILE)


def judged_rows(scaled):
    """Rows with a finite value in every simulated series, and a spread."""
    finite = np.isfinite(scaled).all(axis=0)
    return finite & (np.where(finite, scaled, 0.0).std(axis=0) > 0)


def theory_deviations(sums, the_plan, lags):
    """|mean - theory| / standard error of each row of the simulated series themselves
    (the program's cascade below the drawn steps), and the rows that can be held to theory."""
    sub_steps = the_plan.steps - the_plan.depth
    lam = the_plan.simulated_lam
    estimates = _estimates.rows(sums.reshape(sums.shape[0], -1, sums.shape[-1]), lam, the_plan.count, lags,
                                mean_log=_theory.mean_log_magnitude(lam, sub_steps, the_plan.law))
    expected = _estimates.theory_values(lam, sub_steps, the_plan.count, lags, the_plan.law)
    with np.errstate(invalid="ignore", divide="ignore"):
        error = estimates.std(axis=0, ddof=1) / math.sqrt(estimates.shape[0])
        deviation = np.abs(estimates.mean(axis=0) - expected) / error
    usable = np.isfinite(deviation) & (error > 0)
    # Values that underflow to 0 (or print as 0) leave the log rows to the others: theory no longer holds them.
    zeros = 1.0 - sums[..., 0].sum() / (sums.shape[0] * the_plan.count)
    if zeros > MOST_ZEROS_FOR_THEORY:
        usable[1:] = False
    if abs(lam) > LARGEST_MEAN_SQUARE_THEORY_LAMBDA:
        usable[_estimates.MEAN_SQUARE_ROW] = False
    return deviation, usable


def build(lam, steps, cells, lags, as_text, progress, law):
    """The reference of the shape under the multiplier `law` (a Law), simulated afresh."""
    the_plan = _plan.plan(lam, steps, cells, lags, law)
    sums = _series.simulated_sums(the_plan, lags, as_text, progress)
    half = the_plan.simulated // 2
    # The two halves are independent and numpy lets go of the GIL in its large
    # gathers and sums: one thread each.
    with ThreadPoolExecutor(max_workers=2) as pool:
        fitting = pool.submit(_series.drawn_estimates, sums[:half], the_plan, lags,
                              _plan.REFERENCE_SERIES, np.random.default_rng(DRAWING_SEED))
        placing = _series.drawn_estimates(sums[half:], the_plan, lags, _plan.REFERENCE_SERIES,
                                                     np.random.default_rng(DRAWING_SEED + 1))
        fitted = fitting.result()
    progress.update(0.9)
    theory_deviation, theory_usable = theory_deviations(sums, the_plan, lags)
    theory_rows = int(theory_usable.sum())
    theory_threshold = float(scipy_stats.t.ppf(1 - (1 - THEORY_QUANTILE) / (2 * max(theory_rows, 1)),
                                               the_plan.simulated - 1))

    scaled, scaled_placing = comparable(fitted), comparable(placing)
    judged = judged_rows(scaled) & judged_rows(scaled_placing)
    if the_plan.depth == 0 and abs(lam) > LARGEST_MEAN_SQUARE_THEORY_LAMBDA:
        # Nothing drawn afresh: the reference's mean squares come from a few
        # simulated series, whose largest values set the tail that the row
        # threshold is placed on; too few to place it at this lambda.
        judged[_estimates.MEAN_SQUARE_ROW] = False
    law_rows = len(_energy_steps.box_lengths(steps))
    one_by_one, law = split_judged(judged, law_rows)
    if not one_by_one.any():
        raise UncheckableSeries(f"cannot be checked at lambda = {lam:g}: series of this shape leave every row "
                                f"without a finite value in some simulated series (most of their values "
                                f"underflow to 0)")
    with np.errstate(invalid="ignore"):
        centre = np.where(judged, scaled.mean(axis=0), np.nan)
        spread = np.where(judged, scaled.std(axis=0), np.nan)
        both = np.concatenate([fitted, placing])
        # Not judged: the spread of the series that have the row, for what it tells (nan where none has it).
        finite = np.isfinite(both)
        count = finite.sum(axis=0)
        mean = np.where(finite, both, 0.0).sum(axis=0) / count
        spread_of_finite = np.sqrt(np.where(finite, (both - mean) ** 2, 0.0).sum(axis=0) / count)
        standard_errors = np.where(judged, both.std(axis=0), spread_of_finite)

    def placed(rows, which):
        return (rows[:, which] - centre[which]) / spread[which]

    whitening = decorrelation(placed(scaled, one_by_one))
    law_weights, law_threshold = law_combination(placed(scaled, law), placed(scaled_placing, law))
    return Reference(centre, spread, standard_errors, whitening,
                     tail_point(np.abs(placed(scaled_placing, one_by_one)).max(axis=1), ROW_QUANTILE),
                     tail_point(joint_deviation(placed(scaled_placing, one_by_one), whitening), JOINT_QUANTILE),
                     2 * _plan.REFERENCE_SERIES, the_plan.simulated, the_plan.depth, judged,
                     float(theory_deviation[theory_usable].max(initial=0.0)), theory_threshold, theory_rows,
                     law_rows, law_weights, law_threshold)
