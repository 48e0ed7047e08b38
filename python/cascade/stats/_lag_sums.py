"""Per-cell sums of the pairs (y_i, y_(i+l)) of log|x| at many lags at once, by FFT.

A pair belongs to the cell its first value lies in and may end in any later
cell of the same series. With L the cell length and l = m L + r (0 <= r < L),
offset j of cell c pairs with offset j + r of cell c + m (j < L - r) or with
offset j + r - L of cell c + m + 1 (j >= L - r): both are cross-correlations
of cell c with a cell m or m + 1 further on, and one inverse transform over
every cell gives them at every r. So the cost is a forward transform of the
input and one inverse transform per cell distance the lags reach (one and
another for lags below L): O(N log L) each, however many lags. The transforms
are as long as the shifts need (L plus the longest), at most 2 L. The rows go
through in batches, so the work space stays near BATCH_VALUES values whatever
the input's size (but a batch holds at least one series); what is kept is the
(cells, 2 + 4 lags) table of sums the jackknife needs.

The logs are taken less a value near their mean (`shift`, typical_log), so
the transforms' rounding, relative to the largest term, is relative to the
spread of the logs, not to their mean. Values of 0 have no log: their pairs
are left out, and where a batch holds any, the counts and the sums of first
and second values come from transforms of the mask too; otherwise they are
prefix sums.
"""
import numpy as np
from scipy import fft

BATCH_VALUES = 1 << 20
COLUMNS_PER_LAG = 4  # count of pairs, sum of first values, sum of second values, sum of products


def _batches(rows, count):
    per_batch = max(1, BATCH_VALUES // count)
    return [slice(first, min(first + per_batch, rows)) for first in range(0, rows, per_batch)]


def _logs(block):
    """(usable, log|x| with 0 where x is 0)."""
    usable = block != 0
    with np.errstate(divide="ignore"):
        logs = np.log(np.abs(block))
    return usable, np.where(usable, logs, 0.0)


def typical_log(values):
    """The mean log|x| of the first batch's values above 0: near enough the mean of all to centre on."""
    usable, logs = _logs(values[_batches(*values.shape)[0]])
    return float(logs.sum() / usable.sum()) if usable.any() else 0.0


def _transform_length(lags, length, n0):
    """The shortest fast length whose circular correlations hold, unwrapped, every shift the lags
    need: r >= 0 within the cell m = l // L further on, and r - L < 0 within the next."""
    near, shift = np.divmod(lags, length)
    reach = [shift[near < n0].max(initial=0), (length - shift[(shift > 0) & (near + 1 < n0)]).max(initial=0)]
    return fft.next_fast_len(int(length + max(reach)), real=True)


def _correlations(spectra, first, second, distance, size):
    """sum_j f[c, j] g[c + distance, j + s] at every shift s (index s mod size), for the cells c
    that have a cell `distance` further on in their series: (rows, n0 - distance, size)."""
    n0 = spectra[first].shape[1]
    product = np.conj(spectra[first][:, :n0 - distance]) * spectra[second][:, distance:]
    return fft.irfft(product, size, axis=-1)


def _pair_terms(logs, usable, lags, length):
    """(rows, n0, lags, 4) sums over the pairs that start in each cell, from one batch's centred logs."""
    rows, n0 = logs.shape[0], logs.shape[1] // length
    cells = logs.reshape(rows, n0, length)
    masked = not usable.all()
    size = _transform_length(lags, length, n0)
    spectra = {"y": fft.rfft(cells, size, axis=-1)}
    if masked:
        spectra["u"] = fft.rfft(usable.reshape(rows, n0, length).astype(float), size, axis=-1)
    # (first, second) of each column that a transform gives: the mask's where there are zeros.
    pairs = [("u", "u"), ("y", "u"), ("u", "y"), ("y", "y")] if masked else [("y", "y")]
    terms = np.zeros((rows, n0, len(lags), COLUMNS_PER_LAG))
    near, shift = np.divmod(lags, length)
    for distance in np.unique(np.concatenate([near, near[shift > 0] + 1])):
        if distance >= n0:
            continue
        starts = n0 - distance
        nearby = np.flatnonzero(near == distance)
        beyond = np.flatnonzero((near + 1 == distance) & (shift > 0))
        for column, (first, second) in zip(range(COLUMNS_PER_LAG - len(pairs), COLUMNS_PER_LAG), pairs):
            sums = _correlations(spectra, first, second, distance, size)
            terms[:, :starts, nearby, column] += sums[..., shift[nearby]]
            terms[:, :starts, beyond, column] += sums[..., size - length + shift[beyond]]
    if masked:
        terms[..., 0] = np.rint(terms[..., 0])  # counts: whole numbers, rounded off by the transforms
    else:
        _add_prefix_terms(terms, logs, lags, length)
    return terms


def _add_prefix_terms(terms, logs, lags, length):
    """Counts and sums of first and second values when every value is above 0: the pairs of cell c
    at lag l are its first min(L, N - l - c L) values and the values l further on."""
    rows, count = logs.shape
    n0 = count // length
    starts = np.arange(n0)[:, None] * length
    pairs = np.clip(count - lags[None, :] - starts, 0, length)  # (n0, lags)
    along = np.zeros((rows, count + 1))
    np.cumsum(logs, axis=-1, out=along[:, 1:])
    partners = np.minimum(starts + lags[None, :], count)  # where the second values begin
    terms[..., 0] = pairs
    terms[..., 1] = along[:, starts + pairs] - along[:, np.broadcast_to(starts, pairs.shape)]
    terms[..., 2] = along[:, np.minimum(partners + pairs, count)] - along[:, partners]


def cell_sums(values, lags, n0, shift):
    """Per cell of `values` (rows, n0 L), y = log|x| - shift:
    (leading (cells, 2): count of values above 0 and sum of their y;
     pairs (cells, 4 lags): per lag, over the pairs whose first value lies in the cell and both
        above 0, their count and the sums of y_i, y_(i+l) and y_i y_(i+l);
     least and largest log|x| above 0 (inf and -inf: none))."""
    rows, count = values.shape
    length = count // n0
    leading, pairs, least, largest = [], [], np.inf, -np.inf
    for batch in _batches(rows, count):
        usable, logs = _logs(values[batch])
        if usable.any():
            least, largest = min(least, logs[usable].min()), max(largest, logs[usable].max())
        centred = np.where(usable, logs - shift, 0.0)
        leading.append(np.stack([usable.reshape(-1, length).sum(axis=1), centred.reshape(-1, length).sum(axis=1)],
                                axis=-1))
        pairs.append(_pair_terms(centred, usable, lags, length).reshape(-1, len(lags) * COLUMNS_PER_LAG))
    return np.concatenate(leading).astype(float), np.concatenate(pairs), least, largest
