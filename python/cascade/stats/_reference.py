"""Where each row's estimate falls for correct series: the rows of simulated
series of the same shape.

A rule of a few normal standard errors fails at the edges: the mean square
rests on a few enormous values for large lambda (Var x^2 = 3 e^(4 lambda^2) - 1),
and with few cells the log rows rest on a handful of first-step factors, so
their tails are heavier than a normal's. Simulated series carry those tails.
The deviation of a row is its distance from the simulated mean in simulated
standard deviations (the mean square on a log scale, which is far less
skewed); the threshold is the point that the largest |deviation| over all
rows stays within for a share ROW_QUANTILE of the simulated series.

Rows move together: a wrong lambda shifts the log rows and every C(l) alike,
each perhaps too little to notice alone. The joint deviation sees such
shifts: the length of the deviations after their simulated correlation is
taken out (a Mahalanobis distance, per row), judged against its own point
JOINT_QUANTILE. The two points leave out half of 1 - AGREEMENT_QUANTILE each,
so the whole check fails a correct series about that rarely.

At large lambda (about 20 and more) the doubles underflow: most values are
exactly 0, the mean square of a simulated series may be 0 (minus infinity on
its log scale), and some series leave a row without terms. Such a row has no
simulated mean and spread to measure a deviation by; it is not judged, and
the other rows are judged without it.

The program writes the series from fixed seeds, so a check repeats exactly.
When REFERENCE_SERIES whole series would cost more than SIMULATED_VALUES
values (long series, ensembles), fewer are simulated and reference series are
put together half-cell by half-cell from them: half-cells are independent and,
away from the series' end, alike; the last two, whose lag pairs the end cuts
short, come from the same positions of the simulated series.
"""
from dataclasses import dataclass

import numpy as np

from . import _estimates
from ._errors import UncheckableSeries
from .simulate import simulate

REFERENCE_SERIES = 2000
SIMULATED_VALUES = 1 << 27
LEAST_SIMULATED_SERIES = 32
BATCH_VALUES = 1 << 21
SIMULATION_SEED = 710_000_000
DRAWING_SEED = 20240611
AGREEMENT_QUANTILE = 0.998
ROW_QUANTILE = JOINT_QUANTILE = (1 + AGREEMENT_QUANTILE) / 2
TAIL_SHARE = 0.05
# Keeps the correlation of nearly collinear rows (neighbouring lags) invertible.
CORRELATION_RIDGE = 0.02
# Text output keeps 15 decimals: a value below 5e-16 prints as 0.
TEXT_DECIMALS = 15
# Lag pairs from the last two half-cells can reach past the series' end.
END_HALF_CELLS = 2


@dataclass(frozen=True)
class Reference:
    centre: np.ndarray
    spread: np.ndarray
    standard_errors: np.ndarray
    decorrelation: np.ndarray
    threshold: float
    joint_threshold: float
    series: int
    simulated: int
    judged: np.ndarray
    """Rows that every simulated series gives a finite value, and that vary: only these are judged."""

    def rows_agree(self, row_deviations):
        """Whether each row is within the threshold; a row that is not judged stands in the way of nothing."""
        return (np.abs(row_deviations) <= self.threshold) | ~self.judged

    def joint_deviation(self, row_deviations):
        """The joint deviation of the judged rows; infinite when one of them is
        (a mean square of 0 is minus infinity on its log scale)."""
        judged = row_deviations[..., self.judged]
        with np.errstate(invalid="ignore"):
            distance = joint_deviation(judged, self.decorrelation)
        return np.where(np.isfinite(judged).all(axis=-1), distance, np.inf)

    def joint_agrees(self, row_deviations):
        return self.joint_deviation(row_deviations) <= self.joint_threshold


def comparable(estimates):
    """Estimates on the scale deviations are measured on: the mean square by its logarithm."""
    scaled = np.array(estimates, dtype=float)
    with np.errstate(divide="ignore", invalid="ignore"):
        scaled[..., _estimates.MEAN_SQUARE_ROW] = np.log(scaled[..., _estimates.MEAN_SQUARE_ROW])
    return scaled


def deviations(estimates, reference):
    with np.errstate(divide="ignore", invalid="ignore"):
        return (comparable(estimates) - reference.centre) / reference.spread


def joint_deviation(deviations, decorrelation):
    """sqrt(z' R^-1 z / rows) for row deviations z (..., rows): 1 on average for correct series."""
    whitened = deviations @ decorrelation.T
    return np.sqrt((whitened * whitened).mean(axis=-1))


def _decorrelation(deviations):
    """W with W' W = R^-1, R the (ridged) correlation of the rows' deviations."""
    correlation = np.corrcoef(deviations, rowvar=False)
    correlation = (1 - CORRELATION_RIDGE) * correlation + CORRELATION_RIDGE * np.eye(correlation.shape[0])
    return np.linalg.inv(np.linalg.cholesky(correlation))


def simulated_series_count(count):
    return int(np.clip(SIMULATED_VALUES // count, LEAST_SIMULATED_SERIES, REFERENCE_SERIES))


def simulated_sums(lam, steps, n0, lags, as_text, series):
    """Half-cell sums of `series` simulated series of n0 cells, written by the program a batch at a time."""
    count = n0 << steps
    per_run = max(1, min(series, BATCH_VALUES // count))
    terms, counts = [], []
    for run, first in enumerate(range(0, series, per_run)):
        batch = min(per_run, series - first)
        values = simulate(lam, steps, n0 * batch, SIMULATION_SEED + run).reshape(batch, count)
        if as_text:
            values = np.round(values, TEXT_DECIMALS)
        batch_terms, batch_counts = _estimates.half_cell_sums(values, lam, lags, 2 * n0)
        terms.append(batch_terms)
        counts.append(batch_counts)
    return np.concatenate(terms), np.concatenate(counts)


def drawn_estimates(terms, counts, series, rng):
    """Rows of `series` series put together from random half-cells of the simulated ones."""
    simulated, half_cells, rows = terms.shape
    interior = max(0, half_cells - END_HALF_CELLS)
    total_terms = np.zeros((series, rows))
    total_counts = np.zeros((series, rows))
    for position in range(interior, half_cells):
        pick = rng.integers(simulated, size=series)
        total_terms += terms[pick, position]
        total_counts += counts[pick, position]
    inner_terms = terms[:, :interior].reshape(-1, rows)
    inner_counts = counts[:, :interior].reshape(-1, rows)
    for _ in range(interior):
        pick = rng.integers(inner_terms.shape[0], size=series)
        total_terms += inner_terms[pick]
        total_counts += inner_counts[pick]
    with np.errstate(invalid="ignore", divide="ignore"):
        return total_terms / total_counts


def reference_estimates(lam, steps, n0, lags, as_text):
    """Each row's estimate over the reference series, and how many series the program wrote."""
    simulated = simulated_series_count(n0 << steps)
    terms, counts = simulated_sums(lam, steps, n0, lags, as_text, simulated)
    if simulated >= REFERENCE_SERIES:
        return _estimates.row_estimates(terms, counts), simulated
    return drawn_estimates(terms, counts, REFERENCE_SERIES, np.random.default_rng(DRAWING_SEED)), simulated


def tail_point(sample, quantile):
    """The `quantile` point of `sample`, from an exponential fitted to its top TAIL_SHARE:
    the top hundred of a few thousand simulated series place it more steadily than the few beyond it."""
    start = np.quantile(sample, 1 - TAIL_SHARE)
    mean_excess = (sample[sample > start] - start).mean()
    return float(start + mean_excess * np.log(TAIL_SHARE / (1 - quantile)))


def judged_rows(scaled):
    """Rows with a finite value in every simulated series, and a spread."""
    finite = np.isfinite(scaled).all(axis=0)
    return finite & (np.where(finite, scaled, 0.0).std(axis=0) > 0)


def reference(lam, steps, n0, lags, as_text=False):
    estimates, simulated = reference_estimates(lam, steps, n0, lags, as_text)
    scaled = comparable(estimates)
    judged = judged_rows(scaled)
    if not judged.any():
        raise UncheckableSeries(f"cannot be checked at lambda = {lam:g}: series of this shape leave every row "
                                f"without a finite value in some simulated series (most of their values "
                                f"underflow to 0)")
    with np.errstate(invalid="ignore"):
        centre = np.where(judged, scaled.mean(axis=0), np.nan)
        spread = np.where(judged, scaled.std(axis=0), np.nan)
        simulated_deviations = (scaled[:, judged] - centre[judged]) / spread[judged]
        # Not judged: the spread of the series that have the row, for what it tells.
        standard_errors = np.where(judged, estimates.std(axis=0), np.nanstd(estimates, axis=0))
    decorrelation = _decorrelation(simulated_deviations)
    return Reference(centre, spread, standard_errors, decorrelation,
                     tail_point(np.abs(simulated_deviations).max(axis=1), ROW_QUANTILE),
                     tail_point(joint_deviation(simulated_deviations, decorrelation), JOINT_QUANTILE),
                     estimates.shape[0], simulated, judged)
