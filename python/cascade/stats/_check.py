"""A series (or an ensemble of independent series) against theory, row by row."""
import math
from dataclasses import dataclass
from typing import Optional

import numpy as np

from . import _energy_steps, _estimates, _theory, reference as _reference
from .reference import judge as _reference_judge
from ._arguments import run_arguments
from ._errors import UncheckableSeries, refuse_constant_values
from ._laws import Law, parse_law


@dataclass(frozen=True)
class Row:
    """One statistic: its estimate, standard error (over simulated series of the
    same shape), theoretical value, deviation from the simulated series (in
    their standard deviations; the mean square on a log scale), and whether that
    deviation is within the check's threshold: None, and the deviation nan,
    for a row that the simulated series cannot place at this lambda (see
    Check.not_judged)."""
    name: str
    estimate: float
    standard_error: float
    theory: float
    deviation: float
    agrees: Optional[bool]


@dataclass(frozen=True)
class Check:
    rows: list
    threshold: float
    joint_deviation: float
    joint_threshold: float
    values: int
    realizations: int
    zeros: int
    reference_series: int
    simulated_series: int
    drawn_steps: int
    """The first steps whose factors the reference draws afresh for each of its series (0: none)."""
    theory_deviation: float
    """The largest |mean - theory| / standard error over the simulated series' rows held against theory."""
    theory_threshold: float
    theory_rows: int
    law_rows: list
    """The rows of the factors' law (the kurtosis of log-energy steps), judged
    together: each row's agrees is the law's verdict (None: not judged)."""
    law_deviation: float
    """Their deviations weighted against their correlation: about N(0, 1) for correct series (nan: not judged)."""
    law_threshold: float
    law: Law
    """The multiplier law that the series were judged against (its reference and its theory)."""

    @property
    def law_judged(self):
        return math.isfinite(self.law_threshold)

    @property
    def law_agrees(self):
        return not self.law_judged or abs(self.law_deviation) <= self.law_threshold

    @property
    def disagreeing(self):
        return [row.name for row in self.rows if row.agrees is False]

    @property
    def not_judged(self):
        """Rows left out of the judgement: at large lambda the doubles underflow
        to 0, and some simulated series leave a row without a finite value."""
        return [row.name for row in self.rows + self.law_rows if row.agrees is None]

    @property
    def joint_agrees(self):
        return self.joint_deviation <= self.joint_threshold

    @property
    def theory_agrees(self):
        """Whether the program's own simulated series agree with exact theory."""
        return self.theory_deviation <= self.theory_threshold

    @property
    def agrees(self):
        return not self.disagreeing and self.joint_agrees and self.law_agrees and self.theory_agrees

    def __iter__(self):
        return iter(self.rows)


def whole_number(value, name):
    """An int (numpy's too), never a bool or a float: the module's own TypeError otherwise."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be an int, got {type(value).__name__}")
    if value < 1:
        raise ValueError(f"{name} must be a whole number of at least 1, got {value}")
    return int(value)


def series_values(values, step_number, n0, realizations):
    """(values as one 1-D array, realizations): a (K, N) array is K realizations of N values."""
    _, step_number, n0 = run_arguments(0.0, step_number, n0)
    realizations = whole_number(realizations, "realizations")
    values = np.asarray(values, dtype=np.float64)
    count = n0 << step_number
    if values.ndim == 2:
        if values.shape[1] != count:
            raise ValueError(f"expected rows of n0 * 2^step_number = {count} values, got {values.shape[1]}")
        if realizations != 1 and realizations != values.shape[0]:
            raise ValueError(f"realizations = {realizations} does not match the {values.shape[0]} rows of values")
        realizations = values.shape[0]
        values = values.reshape(-1)
    cells = n0 * realizations
    if values.ndim != 1 or values.size != cells << step_number:
        raise ValueError(f"expected {realizations} * n0 * 2^step_number = {cells << step_number} values, "
                         f"got {values.size}")
    if not np.all(np.isfinite(values)):
        raise ValueError("values must be finite")
    return np.ascontiguousarray(values), step_number, n0, realizations


def refuse_overflowing_squares(values):
    """The mean square and the box energies add up x^2: a square beyond the largest double
    would leave them infinite, and the rows built on them without meaning."""
    with np.errstate(over="ignore"):
        squares = values * values
        total = squares.sum()
    if np.isfinite(total):
        return
    largest = int(np.argmax(np.abs(values)))
    if not np.isfinite(squares[largest]):
        raise UncheckableSeries(f"value {largest + 1} is {values[largest]!r}, whose square overflows a double "
                                f"(the mean square and the energies of boxes add up squares)")
    raise UncheckableSeries(f"the squares of the values add up beyond the largest double (the largest is "
                            f"value {largest + 1}, {values[largest]!r}): the mean square cannot be taken")


def check(values, lam, step_number, n0, *, realizations=1, law="lognormal", as_text=False, cache=True,
          progress=None):
    """Checks `realizations` independent series of n0 cells of 2^step_number
    values, one after the other in `values` (or the rows of a 2-D array),
    against theory.

    For a series made to test estimators of the scaling, use the philox stream: the
    default stream's draws correlate log|x| and x^2 at lags 30 to 59 (docs/reproducibility.md).
    law: the multiplier law the series are held to ("lognormal", "binomial",
    "microcanonical", "logpoisson[:BETA]" or a Law): the reference series are
    simulated under it (the philox stream for every law but the log-normal)
    and each row's theory is that law's.
    as_text: the values were read back from the program's text, whose 15
    decimals turn values below 5e-16 into 0; the reference series are rounded
    alike. Values that are exactly 0 are left out of the rows of log|x|.
    cache: keep the simulated reference on disk and use it again
    ($XDG_CACHE_HOME/cascade or ~/.cache/cascade). progress: a Progress to
    show while the reference is simulated.
    Raises what cascade.generate raises for (lam, step_number, n0), what
    parse_law raises for law, and UncheckableSeries when some row is left without terms, when a square
    overflows a double, when |x| is one value throughout (no spread), or when the simulated
    series can place no row at this lambda.
    """
    lam, _, _ = run_arguments(lam, step_number, n0)
    law = parse_law(law)
    values, step_number, n0, realizations = series_values(values, step_number, n0, realizations)
    refuse_overflowing_squares(values)
    refuse_constant_values("check", values)
    cells = n0 * realizations
    lags = _estimates.lags_checked(step_number, values.size)
    names = _estimates.row_names(lags)
    estimates, sums = _estimates.series_rows(values, lam, lags, _theory.mean_log_magnitude(lam, step_number, law))
    counts = _estimates.row_counts(sums, lags)[0]
    empty = [name for name, count in zip(names, counts) if count == 0]
    if empty:
        raise UncheckableSeries(f"no terms are left for {', '.join(empty)}: "
                                f"{np.count_nonzero(values == 0)} of {values.size} values are 0")
    lengths = _energy_steps.box_lengths(step_number)
    kurtoses = _energy_steps.series_kurtoses(values, lengths)[0]
    reference = _reference.reference(lam, step_number, cells, lags, as_text, law=law, cache=cache,
                                     progress=progress)
    without_pairs = [name for name, value, judged in zip(_energy_steps.row_names(lengths), kurtoses,
                                                         reference.law_judged[-len(lengths):] if lengths else [])
                     if judged and not np.isfinite(value)]
    if without_pairs:
        raise UncheckableSeries(f"no sibling boxes with energies above 0 are left for {', '.join(without_pairs)}: "
                                f"{np.count_nonzero(values == 0)} of {values.size} values are 0")
    estimates = np.concatenate([estimates[0], kurtoses])
    deviations = _reference_judge.deviations(estimates, reference)
    theory = np.concatenate([_estimates.theory_values(lam, step_number, values.size, lags, law),
                             np.full(len(lengths), np.nan)])
    law_agrees = bool(reference.law_agrees(deviations))
    verdicts = np.where(reference.law_judged, law_agrees, reference.rows_agree(deviations))
    rows = [Row(name, float(e), float(s), float(t), float(d), bool(agrees) if judged else None)
            for name, e, s, t, d, agrees, judged in zip(names + _energy_steps.row_names(lengths), estimates,
                                                        reference.standard_errors, theory, deviations, verdicts,
                                                        reference.judged)]
    joint = float(reference.joint_deviation(deviations))
    first_law = len(rows) - len(lengths)
    return Check(rows[:first_law], reference.threshold, joint, reference.joint_threshold, values.size, realizations,
                 int(np.count_nonzero(values == 0)), reference.series, reference.simulated, reference.depth,
                 reference.theory_deviation, reference.theory_threshold, reference.theory_rows,
                 rows[first_law:], float(reference.law_deviation(deviations)), reference.law_threshold, law)


def judge(lam, step_number, cells, *, law="lognormal", as_text=False, cache=True):
    """A function that tells, for each row of a batch of series of `cells` cells
    (a series, or an ensemble laid end to end), whether the check under `law`
    passes it; one reference serves every batch: how often checks pass, measured cheaply."""
    lam, step_number, cells = run_arguments(lam, step_number, cells)
    law = parse_law(law)
    lags = _estimates.lags_checked(step_number, cells << step_number)
    lengths = _energy_steps.box_lengths(step_number)
    reference = _reference.reference(lam, step_number, cells, lags, as_text, law=law, cache=cache)
    mean_log = _theory.mean_log_magnitude(lam, step_number, law)

    def passing(batch):
        batch = np.atleast_2d(np.asarray(batch, dtype=np.float64))
        estimates, _ = _estimates.series_rows(batch, lam, lags, mean_log)
        kurtoses = _energy_steps.series_kurtoses(batch, lengths)
        deviations = _reference_judge.deviations(np.concatenate([estimates, kurtoses], axis=1), reference)
        return (reference.rows_agree(deviations).all(axis=1) & reference.joint_agrees(deviations)
                & reference.law_agrees(deviations))

    return passing
