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
JOINT_QUANTILE.

What a series of few cells does is decided by its first steps: a handful of
factors shared by half, a quarter, ... of it. Whole simulated series of
2^24 values are too dear to show their spread, so the reference simulates
what lies below the first `depth` steps (the program's cascade of
step_number - depth steps with the same sigma, for every block of
2^(step_number - depth) values) and draws the first steps' factors afresh,
exactly, for each reference series: their log shifts the logs of a whole
block, and the block sums take that shift exactly. Cells are independent,
and so are the blocks below the drawn steps: reference series take each
block (or, for many cells, each group of cells) from a different simulated
series, so that even at lambda = 0, where no factor varies, they are many
different series; pairs that reach past a block keep the partner of the
series they were simulated in.

The centre, spread and correlation come from one half of the simulated
series, and the thresholds from reference series built on the other half:
a correlation estimated from few series fits those series better than
others, and thresholds placed on the very series it was fitted on would be
too tight.

The rows of the factors' law (the kurtosis of log-energy steps, see
_energy_steps) are placed alike, and judged together: their deviations,
weighted against their correlation, summed into one law deviation, against
its own point LAW_QUANTILE.

The simulated series are also held against exact theory: each row's mean
over them, against its theoretical value, in its standard errors.

With many cells nothing is drawn afresh, and above lambda = 1 the mean
square rests on the few largest values of a few simulated series: it is
not judged there.

At large lambda (about 20 and more) the doubles underflow: most values are
exactly 0, the mean square of a simulated series may be 0 (minus infinity on
its log scale), and some series leave a row without terms. Such a row has no
simulated mean and spread to measure a deviation by; it is not judged, and
the other rows are judged without it. There (above LARGEST_DRAWN_LAMBDA)
every value comes from the program: no step is drawn apart.

The program writes the series from fixed seeds, and the first steps are
drawn from fixed seeds, so a check repeats exactly.
"""
import math
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, fields

import numpy as np
from scipy import stats as scipy_stats

from . import _cache, _energy_steps, _estimates, _theory
from ._errors import UncheckableSeries
from ._progress import Progress
from .simulate import simulate

REFERENCE_SERIES = 2000
SIMULATED_VALUES = 1 << 24
LEAST_SIMULATED_SERIES = 16
MOST_SIMULATED_SERIES = 2 * REFERENCE_SERIES
# Blocks below the drawn steps, per series: enough that what lies below them averages out.
DRAWN_BLOCKS = 256
# Groups of cells that reference series put together, at most.
MOST_UNITS = 256
# Above this lambda values underflow or print as 0 in text: their law is left to the program.
LARGEST_DRAWN_LAMBDA = 4.0
SUMS_IN_MEMORY = 1 << 23
BATCH_VALUES = 1 << 21
SIMULATION_SEED = 710_000_000
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
# Text output keeps 15 decimals: a value below 5e-16 prints as 0.
TEXT_DECIMALS = 15
# A cached threshold beyond this is no reference's: deviations are in standard deviations, and by
# Chebyshev's inequality at most k/t^2 of series put one of k rows beyond t, so the 99.9% point of
# even the largest of 40 rows lies below 200, and the joint and law points below 32.
LARGEST_PLAUSIBLE_THRESHOLD = 1000.0


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


def _decorrelation(deviations):
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


def _law_combination(fitted_deviations, placing_deviations):
    """The law rows' weights, fitted on one half, and the point that the other half's law deviation stays within."""
    if fitted_deviations.shape[1] == 0:
        return np.zeros(0), math.nan
    correlation = np.atleast_2d(np.corrcoef(fitted_deviations, rowvar=False))
    correlation = (1 - CORRELATION_RIDGE) * correlation + CORRELATION_RIDGE * np.eye(correlation.shape[0])
    weights = _energy_steps.combination(correlation)
    return weights, tail_point(np.abs(placing_deviations @ weights), LAW_QUANTILE)


def split_judged(judged, law_rows):
    """(rows judged one by one, law rows judged together) of a judged mask whose last law_rows are the law's."""
    one_by_one = judged.copy()
    one_by_one[judged.size - law_rows:] = False
    return one_by_one, judged & ~one_by_one


def judged_rows(scaled):
    """Rows with a finite value in every simulated series, and a spread."""
    finite = np.isfinite(scaled).all(axis=0)
    return finite & (np.where(finite, scaled, 0.0).std(axis=0) > 0)


@dataclass(frozen=True)
class Plan:
    """How the reference of a shape is simulated: the first `depth` steps are
    drawn apart, each reference series is put together from `units` parts."""
    lam: float
    steps: int
    cells: int
    depth: int
    simulated: int
    units: int

    @property
    def count(self):
        return self.cells << self.steps

    @property
    def block_length(self):
        return 1 << (self.steps - self.depth)

    @property
    def blocks(self):
        return self.cells << self.depth

    @property
    def simulated_lam(self):
        """lambda of the program's cascade below the drawn steps: the same sigma, depth steps fewer."""
        return self.lam * math.sqrt((self.steps - self.depth) / self.steps)


def plan(lam, steps, cells, lags):
    depth = 0
    if abs(lam) <= LARGEST_DRAWN_LAMBDA and cells < DRAWN_BLOCKS:
        depth = min(steps - 1, int(math.log2(DRAWN_BLOCKS // cells)))
    units = cells << depth if depth > 0 else min(cells, MOST_UNITS)
    count = cells << steps
    columns = (_estimates.LEADING_COLUMNS + _estimates.COLUMNS_PER_LAG * len(lags)
               + _energy_steps.COLUMNS_PER_LENGTH * len(_energy_steps.box_lengths(steps)))
    parts = (cells << depth) if depth > 0 else units
    simulated = min(SIMULATED_VALUES // count, SUMS_IN_MEMORY // (parts * columns), MOST_SIMULATED_SERIES)
    simulated = max(LEAST_SIMULATED_SERIES, simulated) // 2 * 2
    return Plan(float(lam), steps, cells, depth, simulated, units)


def _unit_starts(the_plan):
    return np.arange(the_plan.units) * the_plan.cells // the_plan.units


def lengths_within_block(the_plan):
    """How many of the law's box lengths (the shortest, as they come in order) have
    their sibling pairs within a simulated block."""
    lengths = _energy_steps.box_lengths(the_plan.steps)
    return sum(2 * length <= the_plan.block_length for length in lengths)


def series_sums(values, block_length, lags, lengths, within):
    """The rows' block sums of one series, then its law's: the first `within` lengths
    from the block itself, the others zeros, to be made from the blocks' energies."""
    law = np.zeros((values.size // block_length, _energy_steps.COLUMNS_PER_LENGTH * len(lengths)))
    if within:
        law[:, :_energy_steps.COLUMNS_PER_LENGTH * within] = _energy_steps.block_sums(values, block_length,
                                                                                       lengths[:within])
    return np.concatenate([_estimates.block_sums(values, block_length, lags), law], axis=1)


def law_estimates(sums, the_plan, lags, shifts=None):
    """The law rows (..., lengths) from sums (..., blocks, columns); lengths past a block from
    the blocks' energies, each scaled by its shift (the log factor its values share)."""
    lengths = _energy_steps.box_lengths(the_plan.steps)
    base = _estimates.LEADING_COLUMNS + _estimates.COLUMNS_PER_LAG * len(lags)
    totals = sums[..., base:].sum(axis=-2)
    within = lengths_within_block(the_plan)
    if within < len(lengths):
        energies = np.exp(2.0 * shifts) * sums[..., 1]
        columns = _energy_steps.COLUMNS_PER_LENGTH
        for k in range(within, len(lengths)):
            totals[..., columns * k:columns * (k + 1)] = _energy_steps.across_blocks(energies, lengths[k],
                                                                                     the_plan.block_length)
    return _energy_steps.kurtoses(totals)


def simulated_sums(the_plan, lags, as_text, progress):
    """Sums of the simulated series: (simulated, units, blocks per unit, columns)."""
    count = the_plan.count
    lengths = _energy_steps.box_lengths(the_plan.steps)
    within = lengths_within_block(the_plan)
    per_run = max(1, min(the_plan.simulated, BATCH_VALUES // count))
    sub_steps = the_plan.steps - the_plan.depth
    result = []
    for run, first in enumerate(range(0, the_plan.simulated, per_run)):
        batch = min(per_run, the_plan.simulated - first)
        values = simulate(the_plan.simulated_lam, sub_steps, the_plan.blocks * batch, SIMULATION_SEED + run)
        if as_text and the_plan.depth == 0:
            values = np.round(values, TEXT_DECIMALS)
        for one in values.reshape(batch, count):
            sums = series_sums(one, the_plan.block_length, lags, lengths, within)
            if the_plan.depth == 0:
                # Nothing shifts a block: the sums of a group of cells are all that is needed.
                sums = np.add.reduceat(sums, _unit_starts(the_plan), axis=0)[:, None, :]
            else:
                sums = sums[:, None, :]
            result.append(sums)
        progress.update((first + batch) / the_plan.simulated * 0.8)
    return np.stack(result)


def drawn_shifts(rng, the_plan, series):
    """Log factors of the first `depth` steps shared by each block: (series, blocks)."""
    depth = the_plan.depth
    sigma2 = _theory.step_variance(the_plan.lam, the_plan.steps)
    shifts = np.full((series, the_plan.blocks), -depth * sigma2)
    if depth == 0:
        return np.zeros((series, the_plan.units))
    for level in range(1, depth + 1):
        factors = math.sqrt(sigma2) * rng.standard_normal((series, the_plan.cells << level))
        shifts += np.repeat(factors, 1 << (depth - level), axis=1)
    return shifts


def partner_offsets(the_plan, lags):
    """Per lag, the block on which a pair that reaches past its own block ends."""
    if the_plan.depth == 0:
        return [0] * len(lags)
    return [1 if lag < the_plan.block_length else lag // the_plan.block_length for lag in lags]


def exchangeable_parts(the_plan, lags):
    """How many leading parts of a simulated series may stand for one another.

    Below the drawn steps every block is a cell of its own, and with none
    drawn, units of as many cells are alike: what tells a part's sums apart
    is only where its pairs that reach past it end, and only the last parts,
    whose pairs run into the end of the series, lose some of theirs. So a
    reference series takes each earlier part from any simulated series at
    any earlier position (simulated x positions choices, not simulated
    alone), and each of the last from its own position."""
    if the_plan.depth == 0 and the_plan.cells % the_plan.units != 0:
        return 0
    reach = max(partner_offsets(the_plan, lags), default=0) if the_plan.depth > 0 else 1
    return max(0, the_plan.units - reach)


def drawn_estimates(sums, the_plan, lags, series, rng):
    """Rows of `series` reference series, each part taken from a random simulated series
    (and, for the exchangeable ones, a random position)."""
    simulated, units, per_unit, columns = sums.shape
    chunk = max(1, SUMS_IN_MEMORY // (units * per_unit * columns))
    offsets = partner_offsets(the_plan, lags)
    alike = exchangeable_parts(the_plan, lags)
    result = []
    for first in range(0, series, chunk):
        size = min(chunk, series - first)
        pick = rng.integers(simulated, size=(size, units))
        position = np.broadcast_to(np.arange(units), (size, units)).copy()
        position[:, :alike] = rng.integers(max(alike, 1), size=(size, alike))
        parts = sums[pick, position].reshape(size, units * per_unit, columns)
        if the_plan.depth == 0:
            rows = _estimates.rows(parts, the_plan.lam, the_plan.count, lags)
            law = law_estimates(parts, the_plan, lags)
        else:
            shifts = drawn_shifts(rng, the_plan, size)
            rows = _estimates.rows(parts, the_plan.lam, the_plan.count, lags, shifts, offsets)
            law = law_estimates(parts, the_plan, lags, shifts)
        result.append(np.concatenate([rows, law], axis=-1))
    return np.concatenate(result)


def theory_deviations(sums, the_plan, lags):
    """|mean - theory| / standard error of each row of the simulated series themselves
    (the program's cascade below the drawn steps), and the rows that can be held to theory."""
    sub_steps = the_plan.steps - the_plan.depth
    lam = the_plan.simulated_lam
    estimates = _estimates.rows(sums.reshape(sums.shape[0], -1, sums.shape[-1]), lam, the_plan.count, lags)
    expected = _estimates.theory_values(lam, sub_steps, the_plan.count, lags)
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


def _build(lam, steps, cells, lags, as_text, progress):
    the_plan = plan(lam, steps, cells, lags)
    sums = simulated_sums(the_plan, lags, as_text, progress)
    half = the_plan.simulated // 2
    # The two halves are independent and numpy lets go of the GIL in its large
    # gathers and sums: one thread each.
    with ThreadPoolExecutor(max_workers=2) as pool:
        fitting = pool.submit(drawn_estimates, sums[:half], the_plan, lags, REFERENCE_SERIES,
                              np.random.default_rng(DRAWING_SEED))
        placing = drawn_estimates(sums[half:], the_plan, lags, REFERENCE_SERIES,
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

    decorrelation = _decorrelation(placed(scaled, one_by_one))
    law_weights, law_threshold = _law_combination(placed(scaled, law), placed(scaled_placing, law))
    return Reference(centre, spread, standard_errors, decorrelation,
                     tail_point(np.abs(placed(scaled_placing, one_by_one)).max(axis=1), ROW_QUANTILE),
                     tail_point(joint_deviation(placed(scaled_placing, one_by_one), decorrelation), JOINT_QUANTILE),
                     2 * REFERENCE_SERIES, the_plan.simulated, the_plan.depth, judged,
                     float(theory_deviation[theory_usable].max(initial=0.0)), theory_threshold, theory_rows,
                     law_rows, law_weights, law_threshold)


def _description(lam, steps, cells, lags, as_text):
    constants = {name: value for name, value in globals().items() if name.isupper()}
    return _cache.key(lam=repr(float(lam)), steps=steps, cells=cells, lags=list(map(int, lags)),
                      as_text=bool(as_text), constants=constants)


def _stored(stored, name, kind, shape):
    """stored[name] when it has that dtype kind and shape, else None."""
    array = stored.get(name)
    if array is None or array.dtype.kind != kind or array.shape != shape:
        return None
    return array.item() if shape == () else array


def _plausible(threshold):
    return math.isfinite(threshold) and 0 < threshold <= LARGEST_PLAUSIBLE_THRESHOLD


def _valid(stored, the_plan, rows, law_rows):
    """The Reference that the stored arrays make, or None when any of them is not what _build makes."""
    judged = _stored(stored, "judged", "b", (rows,))
    if judged is None:
        return None
    one_by_one, law = split_judged(judged, law_rows)
    values = {"judged": judged}
    wanted = {"centre": ("f", (rows,)), "spread": ("f", (rows,)), "standard_errors": ("f", (rows,)),
              "decorrelation": ("f", (int(one_by_one.sum()),) * 2), "law_weights": ("f", (int(law.sum()),))}
    wanted.update({name: ("f", ()) for name in ("threshold", "joint_threshold", "theory_deviation",
                                                "theory_threshold", "law_threshold")})
    wanted.update({name: ("i", ()) for name in ("series", "simulated", "depth", "theory_rows", "law_rows")})
    for name, (kind, shape) in wanted.items():
        values[name] = _stored(stored, name, kind, shape)
        if values[name] is None:
            return None
    errors = values["standard_errors"]
    with np.errstate(invalid="ignore"):
        sound = (one_by_one.any()
                 and np.isfinite(values["centre"][judged]).all()
                 and np.isfinite(values["spread"][judged]).all() and (values["spread"][judged] > 0).all()
                 and np.isfinite(errors[judged]).all() and not (errors < 0).any() and not np.isinf(errors).any()
                 and np.isfinite(values["decorrelation"]).all() and np.isfinite(values["law_weights"]).all()
                 and _plausible(values["threshold"]) and _plausible(values["joint_threshold"])
                 and (_plausible(values["law_threshold"]) if law.any() else math.isnan(values["law_threshold"]))
                 and _plausible(values["theory_threshold"])
                 and math.isfinite(values["theory_deviation"]) and values["theory_deviation"] >= 0
                 and 0 <= values["theory_rows"] <= rows
                 and (values["series"], values["simulated"], values["depth"], values["law_rows"])
                 == (2 * REFERENCE_SERIES, the_plan.simulated, the_plan.depth, law_rows))
    if not sound:
        return None
    return Reference(**{field.name: values[field.name] for field in fields(Reference)})


def reference(lam, steps, cells, lags, as_text=False, *, cache=True, progress=None):
    """The reference of series of `cells` cells of 2^steps values at lam: from the
    cache when it holds it (and cache is true), else simulated, and kept."""
    law_rows = len(_energy_steps.box_lengths(steps))
    rows = 3 + len(lags) + law_rows
    description = _description(lam, steps, cells, lags, as_text)
    if cache:
        stored = _cache.load(description)
        found = None if stored is None else _valid(stored, plan(lam, steps, cells, lags), rows, law_rows)
        if found is not None:
            return found
    with progress if progress is not None else Progress("", "", enabled=False) as shown:
        built = _build(lam, steps, cells, lags, as_text, shown)
    if cache:
        _cache.store(description, {field.name: np.asarray(getattr(built, field.name))
                                   for field in fields(Reference)})
    return built
