"""The check's view of the law of the factors, beyond their mean and variance.

The rows of log|x| see the factors' log through its mean and variance only:
a two-valued or a log-Poisson factor with the same two moments passes them.
What tells such laws apart is the shape of a single step. The energy of a
box of L values (the sum of their squares) sums out most of the Gaussian
noise of the values, and two sibling boxes (sharing a box of 2L) differ by
one step's factors: d = log(E_second / E_first). The kurtosis of d,
E[d^4] / E[d^2]^2, per box length L = 1, 2, 4 ... 64, is a row; their sum,
each in the reference's standard deviations and weighted against their
correlation (the weights C^-1 1), is the law deviation, judged against the
point that correct series stay within, LAW_QUANTILE of the reference.

The law of d has no closed form (E is a sum of log-normal products times
squared Gaussians): these rows are held against the program's simulated
series only. A factor shared by a whole block cancels in d, so the block
sums of different simulated series may be put together like the others'.
"""
import numpy as np

BOX_LENGTHS = (1, 2, 4, 8, 16, 32, 64)
COLUMNS_PER_LENGTH = 3


def box_lengths(steps):
    """The box lengths whose sibling pairs lie within one cell of 2^steps values."""
    return [length for length in BOX_LENGTHS if 2 * length <= 1 << steps]


def row_names(lengths):
    return [f"K({length})" for length in lengths]


def block_sums(values, block_length, lengths):
    """(blocks, 3 * len(lengths)) sums of the sibling pairs inside each block, from the compiled module."""
    from cascade import cascade_native  # the package's compiled module, loaded with the package

    return cascade_native.energy_step_sums(np.ascontiguousarray(values, dtype=np.float64), int(block_length),
                                           [int(length) for length in lengths])


def kurtoses(totals):
    """E[d^4] / E[d^2]^2 per box length from summed sums (..., 3 * lengths); nan without pairs."""
    pairs, squares, fourths = (totals[..., column::COLUMNS_PER_LENGTH] for column in range(COLUMNS_PER_LENGTH))
    with np.errstate(invalid="ignore", divide="ignore"):
        return fourths * pairs / (squares * squares)


def across_blocks(energies, length, block_length):
    """The sums (..., 3) of one box length at least block_length from the blocks' energies
    (..., blocks), each already scaled by its block's shared factor squared."""
    per_box = length // block_length
    boxes = energies.reshape(*energies.shape[:-1], -1, 2, per_box).sum(axis=-1)
    usable = (boxes > 0).all(axis=-1)
    with np.errstate(divide="ignore", invalid="ignore"):
        d = np.where(usable, np.log(boxes[..., 1]) - np.log(boxes[..., 0]), 0.0)
    d2 = d * d
    return np.stack([usable.sum(axis=-1), d2.sum(axis=-1), (d2 * d2).sum(axis=-1)], axis=-1).astype(float)


def combination(correlation):
    """Weights v with v . z of unit variance and most sensitive to a shift of every z alike:
    C^-1 1 normalised, C the correlation of the rows' deviations z."""
    weights = np.linalg.solve(correlation, np.ones(correlation.shape[0]))
    return weights / np.sqrt(weights @ correlation @ weights)


def series_kurtoses(series, lengths):
    """The law rows of each series of a batch (series, count): (series, lengths)."""
    series = np.atleast_2d(series)
    return np.stack([kurtoses(block_sums(one, one.size, lengths)[0]) for one in series])
