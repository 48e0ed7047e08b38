"""How the reference of a shape is simulated: how many series, which first
steps are drawn apart, and which parts of a simulated series a reference
series may take from another.

What a series of few cells does is decided by its first steps: a handful of
factors shared by half, a quarter, ... of it. Whole simulated series of
2^24 values are too dear to show their spread, so the reference simulates
what lies below the first `depth` steps (the program's cascade of
step_number - depth steps with the same sigma, for every block of
2^(step_number - depth) values) and draws the first steps' factors afresh
for each reference series (_series). Cells are independent, and
so are the blocks below the drawn steps: reference series take each block
(or, for many cells, each group of cells, a unit) from a different
simulated series.

Every step below and above follows the multiplier law of the series
checked: the program simulates it (the philox stream for the laws beyond
the log-normal) and the first steps draw it in numpy.

With many cells nothing is drawn afresh; above LARGEST_DRAWN_LAMBDA every
value comes from the program: no step is drawn apart.
"""
import math
from dataclasses import dataclass

import numpy as np

from .. import _energy_steps, _estimates, _laws

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
    law: _laws.Law = _laws.LogNormal()

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


def plan(lam, steps, cells, lags, law=_laws.LogNormal()):
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
    return Plan(float(lam), steps, cells, depth, simulated, units, law)


def unit_starts(the_plan):
    return np.arange(the_plan.units) * the_plan.cells // the_plan.units


def lengths_within_block(the_plan):
    """How many of the law's box lengths (the shortest, as they come in order) have
    their sibling pairs within a simulated block."""
    lengths = _energy_steps.box_lengths(the_plan.steps)
    return sum(2 * length <= the_plan.block_length for length in lengths)


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
