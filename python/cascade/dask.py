"""Cascade series as Dask arrays: one series longer than memory, or an
ensemble, made where they are computed.

Each chunk is made by the worker that computes it, from its own bounds, with
the philox stream's pieces (``generate(..., generator="philox", start=,
stop=)``): no values travel to the workers, only the few numbers that name
a chunk. The same code runs on a laptop's threads or on a cluster behind
``distributed.Client("scheduler:8786")``.

    import cascade.dask
    x = cascade.dask.series(0.3, 32, 1, seed=7)            # 2^32 values, 1024 chunks
    abs_log = da.log(abs(x[x != 0])).mean().compute()

Every array is one reproducible computation: a seed is required (a chunk
seeded from the clock would be a piece of another series). A series has at
most MAX_CHUNKS chunks, so that its graph stays small whatever N.

Needs Dask (Debian: python3-dask, and python3-distributed for a cluster).
"""
from __future__ import annotations

# Only the package's own names are public: the modules this one uses are imported under
# private names, and what only the annotations name is imported for type checkers.
import functools as _functools
import operator as _operator
from typing import TYPE_CHECKING as _TYPE_CHECKING
from typing import cast as _cast

import numpy as _np

if _TYPE_CHECKING:
    from typing import Any, Iterable, Optional, Tuple, Union

    from ._results import PathLike

try:
    import dask.array as _da
    from dask.base import tokenize as _tokenize
    from dask.highlevelgraph import HighLevelGraph as _HighLevelGraph
except ImportError:  # pragma: no cover - depends on the machine
    raise ImportError("cascade.dask needs Dask: install python3-dask (and python3-distributed for a cluster), "
                      "or pip's dask[array] and distributed") from None

from . import _lambda_of, _native, generate as _generate
from ._docstrings import shared as _shared
from ._results import _path

__all__ = ["series", "ensemble", "save", "DEFAULT_CHUNKS", "MAX_CHUNKS"]

DEFAULT_CHUNKS = 2**22
"""Values a chunk by default (32 MiB), while the series has at most MAX_CHUNKS of them."""
MAX_CHUNKS = 65536
"""Most chunks a series is cut into: a graph of this many tasks builds in well under a
second and 50 MB (docs/performance.md), and every further task costs the scheduler time and memory."""


def _chunk_length(count: int, chunks: Optional[int] = None) -> int:
    """Values a chunk of a series of `count` values: `chunks` when given, else
    DEFAULT_CHUNKS doubled until at most MAX_CHUNKS chunks hold the series.
    ValueError when `chunks` would cut it into more than MAX_CHUNKS."""
    if chunks is None:
        length = DEFAULT_CHUNKS
        while -(-count // length) > MAX_CHUNKS:
            length *= 2
        return length
    if isinstance(chunks, bool) or not isinstance(chunks, (int, _np.integer)):
        raise TypeError(f"chunks must be a whole number of at least 1, got {type(chunks).__name__}")
    if chunks < 1:
        raise ValueError(f"chunks must be a whole number of at least 1, got {chunks}")
    number = -(-count // int(chunks))
    if number > MAX_CHUNKS:
        least = -(-count // MAX_CHUNKS)
        raise ValueError(f"chunks={chunks} would cut the {count} values into {number} chunks, more than the "
                         f"{MAX_CHUNKS} a series may have: give chunks of at least {least}, or leave chunks out")
    return int(chunks)


def _require_seed(seed: Any, name: str) -> None:
    if seed is None:
        raise ValueError(f"{name} must be given, got None: a seed from the clock would differ from chunk to chunk "
                         "and from one compute() to the next")


# A task runs on one worker thread, and Dask spreads the tasks over the threads and workers: each
# chunk or row is made on one thread, whatever the stream would take by default.
def _piece(lam, step_number, n0, seed, length, count, weights, law, model, index):
    start = index * length
    return _generate(lam, step_number, n0, seed, generator="philox", start=start, stop=min(start + length, count),
                    weights=weights, threads=1, law=law, model=model)


def _row(lam, step_number, n0, seed, generator, law, model):
    return _generate(lam, step_number, n0, seed, generator=generator, threads=1, law=law, model=model)[None, :]


@_shared
def series(lam: Optional[float], step_number: int, n0: int, seed: int, *, chunks: Optional[int] = None,
           weights: bool = False, law: str = "lognormal", model: str = "dyadic",
           intermittency: Optional[float] = None) -> Union[_da.Array, Tuple[_da.Array, _da.Array]]:
    """The philox series of (lam, step_number, n0) and `seed` as a 1-D float64 Dask array.

    Bit for bit ``generate(lam, step_number, n0, seed, generator="philox")``,
    for any N that stream takes (up to ``cascade.limits("philox")["max_value_count"]``);
    each chunk is made by the worker that computes it, from its own bounds.
    The arguments are checked at once, as ``generate`` checks them.

    Parameters
    ----------
    <<lam>>
    <<step_number>>
    n0 : int
        The number of initial cells, at least 1.
    seed : int
        The philox key, 0 to 2^64 - 1: required (a seed from the clock would
        differ from chunk to chunk).
    chunks : int or None, default None
        Values a chunk (the last shorter); None: DEFAULT_CHUNKS (2^22), or for
        N beyond 2^38 the power of two that cuts the series into MAX_CHUNKS
        (65536) chunks.
    weights : bool, default False
        True: ``(x, w)``, the weights before modulation; computed together, each
        chunk pair is made once.
    <<as_generate>>

    Returns
    -------
    dask.array.Array or (dask.array.Array, dask.array.Array)
        x of N float64 values in chunks; with ``weights=True``, ``(x, w)``.

    Raises
    ------
    ValueError
        A None seed, `chunks` that make more than MAX_CHUNKS chunks, or what
        generate refuses for the run.
    TypeError
        An argument of the wrong type.

    Examples
    --------
    >>> import cascade.dask
    >>> x = cascade.dask.series(0.3, 24, 1, seed=7)
    >>> x.numblocks
    (4,)
    """
    _require_seed(seed, "seed")
    lam = _lambda_of(lam, intermittency, step_number)
    _native.check_run(lam, step_number, n0, seed, "philox", law, model)
    if not isinstance(weights, bool):
        raise TypeError(f"weights must be True or False, got {type(weights).__name__}")
    count = n0 << step_number
    length = _chunk_length(count, chunks)
    number = -(-count // length)
    sizes = (length,) * (number - 1) + (count - (number - 1) * length,)
    token = _tokenize(lam, step_number, n0, seed, length, weights, law, model)
    made = f"cascade-philox-{token}"
    # One shared callable and the chunk's index a task: the bounds follow from the index.
    maker = _functools.partial(_piece, lam, step_number, n0, seed, length, count, weights, law, model)
    pieces = {(made, i): (maker, i) for i in range(number)}
    if not weights:
        return _da.Array(pieces, made, chunks=(sizes,), dtype=_np.float64)
    arrays = []
    for part, name in enumerate(("values", "weights")):
        key = f"cascade-philox-{name}-{token}"
        parts = {(key, i): (_operator.getitem, piece, part) for i, piece in enumerate(pieces)}
        # Both arrays hold the one `pieces` layer, not a copy of it.
        graph = _HighLevelGraph({made: pieces, key: parts}, {made: set(), key: {made}})
        arrays.append(_da.Array(graph, key, chunks=(sizes,), dtype=_np.float64))
    return arrays[0], arrays[1]


@_shared
def ensemble(lam: Optional[float], step_number: int, n0: int, seeds: Iterable[int], *,
             generator: str = "subtractive", law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> _da.Array:
    """A (K, N) float64 Dask array, one realization a row, made where it is computed.

    Row k is ``generate(lam, step_number, n0, seeds[k], generator=generator,
    law=law, model=model)``, made by the worker that computes it (one chunk a
    row).

    <<philox_ensemble>>

    Parameters
    ----------
    <<row_shape>>
    seeds : iterable of int
        One seed a row, each required (not None) and checked at once.
    generator : {"subtractive", "philox"}, default "subtractive"
        The stream, as generate's.
    <<as_generate>>

    Returns
    -------
    dask.array.Array
        (K, N) float64, one chunk a row.

    Raises
    ------
    ValueError
        No seeds, a None seed, or what generate refuses for the run.
    TypeError
        Seeds that are not iterable, or an argument of the wrong type.

    Examples
    --------
    >>> import cascade.dask
    >>> cascade.dask.ensemble(0.3, 10, 1, range(4), generator="philox").shape
    (4, 1024)
    """
    # Only what is not iterable at all is refused here: an error raised by the
    # caller's own iterable goes on as it was raised.
    try:
        iterator = iter(seeds)
    except TypeError:
        raise TypeError(f"seeds must be an iterable of seeds, got {type(seeds).__name__}") from None
    seeds = list(iterator)
    lam = _lambda_of(lam, intermittency, step_number)
    if not seeds:
        raise ValueError("seeds must name at least one realization, got none")
    for k, seed in enumerate(seeds):
        _require_seed(seed, f"seeds[{k}]")
        _native.check_run(lam, step_number, n0, seed, generator, law, model)
    count = n0 << step_number
    token = _tokenize(lam, step_number, n0, seeds, generator, law, model)
    name = f"cascade-ensemble-{token}"
    graph = {(name, k, 0): (_row, lam, step_number, n0, seed, generator, law, model) for k, seed in enumerate(seeds)}
    return _da.Array(graph, name, chunks=((1,) * len(seeds), (count,)), dtype=_np.float64)


@_shared
def save(path: PathLike, lam: Optional[float], step_number: int, n0: int, *, seed: Optional[int] = None,
         seeds: Any = None, chunks: Optional[int] = None, law: str = "lognormal", model: str = "dyadic",
         overwrite: bool = False, intermittency: Optional[float] = None) -> None:
    """Writes the philox series (or ensemble) into a zarr store at `path`,
    chunk by chunk on the workers that compute them, with the results file's
    layout and root attributes, so that ``cascade.open(path)`` and
    ``xarray.open_zarr(path)`` read it.

    The active scheduler's workers write the chunks (a ``distributed.Client``
    sends them to its cluster, whose workers must reach `path`); the store's
    ``x_sha256`` is taken as the chunks are read back in order once written.
    It is written under a temporary name in its folder and renamed when
    complete, and a failed or interrupted save leaves nothing.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The store (a folder) to write.
    <<lam>>
    <<step_number>>
    n0 : int
        The number of initial cells, at least 1.
    seed : int or None, default None
        The series' philox seed, required unless `seeds` is given.
    seeds : sequence of int or None, default None
        Instead of `seed`, the philox ensemble of ``ensemble(lam, step_number,
        n0, seeds, generator="philox")``: ``x`` of shape (K, N) along
        ``realization`` and ``t``, one row a chunk, as ``cascade.save(...,
        seeds=...)`` lays it out.
    chunks : int or None, default None
        Values a chunk, as ``series`` takes them (not taken with `seeds`).
    law : str, default "lognormal"
        The factors' law, as generate's.
    model : str, default "dyadic"
        The cascade's model, as generate's.
    overwrite : bool, default False
        Replace an existing store.
    intermittency : float or None, default None
        The intermittency coefficient instead of `lam`, as generate's.

    Returns
    -------
    None
        The store at `path` is complete when the call returns.

    Raises
    ------
    ValueError
        What generate refuses for the run, an existing `path` without
        `overwrite`, a missing seed, both `seed` and `seeds`, or `chunks` with
        `seeds`.
    TypeError
        An argument of the wrong type.

    Examples
    --------
    >>> import os, tempfile, cascade, cascade.dask
    >>> path = os.path.join(tempfile.mkdtemp(), "run.zarr")
    >>> cascade.dask.save(path, 0.4, 14, 1, seed=9, chunks=4096)
    >>> with cascade.open(path) as r:
    ...     r.x.shape, r.provenance["generator"]
    ((16384,), 'philox')
    """
    import hashlib
    import os
    import shutil
    import uuid

    import zarr

    lam = _lambda_of(lam, intermittency, step_number)
    if not isinstance(overwrite, bool):
        raise TypeError(f"overwrite must be True or False, got {type(overwrite).__name__}")
    if seeds is not None:
        if seed is not None:
            raise ValueError("give seed or seeds, not both")
        if chunks is not None:
            raise ValueError("chunks is not taken with seeds: an ensemble's chunk is one row")
        seeds = list(seeds)
    else:
        _require_seed(seed, "seed")
    name = os.fsdecode(_path(path))
    if os.path.lexists(name) and not overwrite:
        raise ValueError(f"{name!r} exists; give overwrite=True to replace it")
    if seeds is not None:
        x = ensemble(lam, step_number, n0, seeds, generator="philox", law=law, model=model)
    else:
        x = _cast(_da.Array, series(lam, step_number, n0, _cast(int, seed), chunks=chunks, law=law, model=model))
    folder, base = os.path.split(os.path.abspath(name))
    temporary = os.path.join(folder, f".{base}.partial-{os.getpid()}-{uuid.uuid4().hex[:8]}")
    try:
        _da.to_zarr(x, temporary, component="x")
        group = zarr.open_group(temporary, mode="r+")
        values = group["x"]
        # xarray's names for the dimensions.
        values.attrs["_ARRAY_DIMENSIONS"] = ["realization", "t"] if seeds is not None else ["t"]
        digest = hashlib.sha256()
        length = x.chunks[0][0]
        for first in range(0, x.shape[0], length):  # a chunk, or a row, in order
            digest.update(_np.ascontiguousarray(values[first:first + length], dtype="<f8").tobytes())
        group.attrs.update(dict(_native.results_attributes(name, lam, step_number, n0, seed=seed, seeds=seeds,
                                                           generator="philox", law=law, model=model,
                                                           x_sha256=digest.hexdigest())))
        zarr.consolidate_metadata(temporary)
        if os.path.lexists(name):
            shutil.rmtree(name) if os.path.isdir(name) and not os.path.islink(name) else os.remove(name)
        os.rename(temporary, name)
    except BaseException:
        shutil.rmtree(temporary, ignore_errors=True)
        raise


# The __future__ import binds its own name; its effect is the compiler's, and the name is none of ours.
del annotations
