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

Needs Dask (Debian: python3-dask, and python3-distributed for a cluster).
"""
from __future__ import annotations

import operator
from typing import Iterable, Tuple, Union

import numpy as np

try:
    import dask.array as _da
    from dask.base import tokenize as _tokenize
except ImportError:  # pragma: no cover - depends on the machine
    raise ImportError("cascade.dask needs Dask: install python3-dask (and python3-distributed for a cluster), "
                      "or pip's dask[array] and distributed") from None

from . import _native
from . import generate

__all__ = ["series", "ensemble"]


def _piece(lam, step_number, n0, seed, start, stop, weights):
    return generate(lam, step_number, n0, seed, generator="philox", start=start, stop=stop, weights=weights,
                    threads=1)


def _row(lam, step_number, n0, seed, generator):
    return generate(lam, step_number, n0, seed, generator=generator, threads=1 if generator == "philox" else None)[None, :]


def series(lam: float, step_number: int, n0: int, seed: int, *, chunks: int = 2**22,
           weights: bool = False) -> Union[_da.Array, Tuple[_da.Array, _da.Array]]:
    """The philox series of (lam, step_number, n0) and `seed` as a 1-D
    float64 Dask array in chunks of `chunks` values (the last shorter): bit
    for bit ``generate(lam, step_number, n0, seed, generator="philox")``,
    for any N up to 2^48. With ``weights=True``, ``(x, w)``, the weights
    before modulation; computed together, each chunk pair is made once.
    Arguments are checked at once, as ``generate`` checks them.
    """
    if isinstance(chunks, bool) or not isinstance(chunks, (int, np.integer)) or chunks < 1:
        raise TypeError(f"chunks must be a whole number of at least 1, got {chunks!r}")
    _native.check_run(lam, step_number, n0, seed, "philox")
    if not isinstance(weights, bool):
        raise TypeError(f"weights must be True or False, got {type(weights).__name__}")
    count = n0 << step_number
    bounds = list(range(0, count, int(chunks))) + [count]
    sizes = tuple(b - a for a, b in zip(bounds, bounds[1:]))
    token = _tokenize(lam, step_number, n0, seed, int(chunks), weights)
    made = f"cascade-philox-{token}"
    graph = {(made, i): (_piece, lam, step_number, n0, seed, a, b, weights)
             for i, (a, b) in enumerate(zip(bounds, bounds[1:]))}
    if not weights:
        return _da.Array(graph, made, chunks=(sizes,), dtype=np.float64)
    arrays = []
    for part, name in enumerate(("values", "weights")):
        key = f"cascade-philox-{name}-{token}"
        layer = {(key, i): (operator.getitem, (made, i), part) for i in range(len(sizes))}
        arrays.append(_da.Array({**graph, **layer}, key, chunks=(sizes,), dtype=np.float64))
    return arrays[0], arrays[1]


def ensemble(lam: float, step_number: int, n0: int, seeds: Iterable[int], *,
             generator: str = "subtractive") -> _da.Array:
    """A (K, N) float64 Dask array, one realization a row: row k is
    ``generate(lam, step_number, n0, seeds[k], generator=generator)``, made
    by the worker that computes it (one chunk a row)."""
    seeds = list(seeds)
    if not seeds:
        raise ValueError("seeds must name at least one realization, got none")
    for seed in dict.fromkeys(seeds):
        _native.check_run(lam, step_number, n0, seed, generator)
    count = n0 << step_number
    token = _tokenize(lam, step_number, n0, seeds, generator)
    name = f"cascade-ensemble-{token}"
    graph = {(name, k, 0): (_row, lam, step_number, n0, seed, generator) for k, seed in enumerate(seeds)}
    return _da.Array(graph, name, chunks=((1,) * len(seeds), (count,)), dtype=np.float64)
