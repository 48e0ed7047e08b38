"""A reference as numbers, and how a series' rows are judged against it.

The deviation of a row is its distance from the simulated mean in simulated
standard deviations (the mean square on a log scale, which is far less
skewed); a row agrees when its |deviation| is within the threshold that
the largest |deviation| over all rows stays within for most correct series.

Rows move together: a wrong lambda shifts the log rows and every C(l) alike,
each perhaps too little to notice alone. The joint deviation sees such
shifts: the length of the deviations after their simulated correlation is
taken out (a Mahalanobis distance, per row), judged against its own
threshold. The rows of the factors' law (the kurtosis of log-energy steps,
see _energy_steps) are judged together: their deviations, weighted against
their correlation, summed into one law deviation, against its own threshold.

A row that is not judged (no simulated mean and spread to measure it by,
most often because values underflow to 0) stands in the way of nothing.
"""
from dataclasses import dataclass

import numpy as np

from .. import _estimates


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
    depth: int
    judged: np.ndarray
    """Rows that every simulated series gives a finite value, and that vary: only these are judged."""
    theory_deviation: float
    """The largest |mean - theory| / standard error over the simulated series' rows held against theory."""
    theory_threshold: float
    theory_rows: int
    law_rows: int
    """The last law_rows rows of every array are the factors' law's, judged together."""
    law_weights: np.ndarray
    """Per judged law row, its weight in the law deviation."""
    law_threshold: float
    """nan where no law row can be judged."""

    @property
    def rows_judged(self):
        """The judged rows that are judged one by one: not the law's."""
        return split_judged(self.judged, self.law_rows)[0]

    @property
    def law_judged(self):
        return split_judged(self.judged, self.law_rows)[1]

    def rows_agree(self, row_deviations):
        """Whether each row is within the threshold; a row that is not judged one by one stands in the way of nothing."""
        return (np.abs(row_deviations) <= self.threshold) | ~self.rows_judged

    def law_deviation(self, row_deviations):
        """The weighted sum of the law rows' deviations: about N(0, 1) for correct series."""
        if not np.isfinite(self.law_threshold):
            return np.full(np.shape(row_deviations)[:-1], np.nan)
        return row_deviations[..., self.law_judged] @ self.law_weights

    def law_agrees(self, row_deviations):
        """Whether the law deviation is within its threshold (and true where the law cannot be judged)."""
        if not np.isfinite(self.law_threshold):
            return np.ones(np.shape(row_deviations)[:-1], dtype=bool)
        with np.errstate(invalid="ignore"):
            return np.abs(self.law_deviation(row_deviations)) <= self.law_threshold

    def joint_deviation(self, row_deviations):
        """The joint deviation of the rows judged one by one; infinite when one of them is
        (a mean square of 0 is minus infinity on its log scale)."""
        judged = row_deviations[..., self.rows_judged]
        with np.errstate(invalid="ignore"):
            distance = joint_deviation(judged, self.decorrelation)
        return np.where(np.isfinite(judged).all(axis=-1), distance, np.inf)

    def joint_agrees(self, row_deviations):
        return self.joint_deviation(row_deviations) <= self.joint_threshold

    @property
    def theory_agrees(self):
        return self.theory_deviation <= self.theory_threshold


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


def split_judged(judged, law_rows):
    """(rows judged one by one, law rows judged together) of a judged mask whose last law_rows are the law's."""
    one_by_one = judged.copy()
    one_by_one[judged.size - law_rows:] = False
    return one_by_one, judged & ~one_by_one
