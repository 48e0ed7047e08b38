"""The simulated series of a reference, as block sums, and the rows of the
reference series put together from them.

The program simulates what lies below the drawn steps (_plan);
the first steps' factors are drawn here afresh, exactly, under the law of
the series checked, for each reference series: their log shifts the logs of a whole block, and the block sums take
that shift exactly. Reference series take each block (or group of cells)
from a different simulated series, so that even at lambda = 0, where no
factor varies, they are many different series; pairs that reach past a
block keep the partner of the series they were simulated in.

The program writes the series from fixed seeds, and the first steps are
drawn from fixed seeds, so a reference repeats exactly.
"""

import numpy as np

from .. import _energy_steps, _estimates, _theory
from ..simulate import simulate
from . import plan as _plan

BATCH_VALUES = 1 << 21
SIMULATION_SEED = 710_000_000
# Text output keeps 15 decimals: a value below 5e-16 prints as 0.
TEXT_DECIMALS = 15


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
    within = _plan.lengths_within_block(the_plan)
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
    within = _plan.lengths_within_block(the_plan)
    per_run = max(1, min(the_plan.simulated, BATCH_VALUES // count))
    sub_steps = the_plan.steps - the_plan.depth
    result = []
    for run, first in enumerate(range(0, the_plan.simulated, per_run)):
        batch = min(per_run, the_plan.simulated - first)
        values = simulate(the_plan.simulated_lam, sub_steps, the_plan.blocks * batch, SIMULATION_SEED + run,
                          the_plan.law)
        if as_text and the_plan.depth == 0:
            values = np.round(values, TEXT_DECIMALS)
        for one in values.reshape(batch, count):
            sums = series_sums(one, the_plan.block_length, lags, lengths, within)
            if the_plan.depth == 0:
                # Nothing shifts a block: the sums of a group of cells are all that is needed.
                sums = np.add.reduceat(sums, _plan.unit_starts(the_plan), axis=0)[:, None, :]
            else:
                sums = sums[:, None, :]
            result.append(sums)
        progress.update((first + batch) / the_plan.simulated * 0.8)
    return np.stack(result)


def drawn_shifts(rng, the_plan, series):
    """Log factors of the first `depth` steps shared by each block, under the plan's law: (series, blocks)."""
    depth = the_plan.depth
    sigma2 = _theory.step_variance(the_plan.lam, the_plan.steps)
    shifts = np.full((series, the_plan.blocks), depth * the_plan.law.log_cumulants(sigma2)[0])
    if depth == 0:
        return np.zeros((series, the_plan.units))
    for level in range(1, depth + 1):
        factors = the_plan.law.centred_log_factors(rng, sigma2, (series, the_plan.cells << level))
        shifts += np.repeat(factors, 1 << (depth - level), axis=1)
    return shifts


def drawn_estimates(sums, the_plan, lags, series, rng):
    """Rows of `series` reference series, each part taken from a random simulated series
    (and, for the exchangeable ones, a random position)."""
    simulated, units, per_unit, columns = sums.shape
    chunk = max(1, _plan.SUMS_IN_MEMORY // (units * per_unit * columns))
    offsets = _plan.partner_offsets(the_plan, lags)
    alike = _plan.exchangeable_parts(the_plan, lags)
    result = []
    for first in range(0, series, chunk):
        size = min(chunk, series - first)
        pick = rng.integers(simulated, size=(size, units))
        position = np.broadcast_to(np.arange(units), (size, units)).copy()
        position[:, :alike] = rng.integers(max(alike, 1), size=(size, alike))
        parts = sums[pick, position].reshape(size, units * per_unit, columns)
        mean_log = _theory.mean_log_magnitude(the_plan.lam, the_plan.steps, the_plan.law)
        if the_plan.depth == 0:
            rows = _estimates.rows(parts, the_plan.lam, the_plan.count, lags, mean_log=mean_log)
            law = law_estimates(parts, the_plan, lags)
        else:
            shifts = drawn_shifts(rng, the_plan, size)
            rows = _estimates.rows(parts, the_plan.lam, the_plan.count, lags, shifts, offsets, mean_log)
            law = law_estimates(parts, the_plan, lags, shifts)
        result.append(np.concatenate([rows, law], axis=-1))
    return np.concatenate(result)
