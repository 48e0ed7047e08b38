"""Results files: a run saved with what makes it again (the core writes and
checks them, as ``cascade --output`` and ``--verify`` do), reopened lazily
through h5py."""

from __future__ import annotations

import os
from typing import Any, Dict, Optional, Union

import numpy as np

from . import _native
from ._docstrings import shared as _shared

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _path(path: PathLike) -> Union[str, bytes]:
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be a str, bytes or os.PathLike, got {type(path).__name__}")
    return os.fspath(path)


@_shared
def save(path: PathLike, lam: Optional[float], step_number: int, n0: int, *, seed: Optional[int] = None,
         seeds: Any = None, generator: str = "subtractive", law: str = "lognormal", model: str = "dyadic",
         weights: bool = False, dtype: Any = np.float64, start: Optional[int] = None, stop: Optional[int] = None,
         overwrite: bool = False, deflate: bool = False, threads: Optional[int] = None,
         intermittency: Optional[float] = None) -> None:
    """Writes a run into a results file: one HDF5 file laid out as netCDF-4,
    the same bytes and attributes (but the time) as ``cascade --output FILE``
    writes for the same run, made window by window in bounded memory (no
    whole array is held), under a temporary name in its folder, renamed when
    complete.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The file to write; an existing one is kept unless `overwrite`, and a
        path that is not a regular file (a FIFO, a device) is always refused.
    <<lam>>
    <<step_number>>
    n0 : int
        The number of initial cells, at least 1.
    seed : int or None, default None
        The run's seed, as generate's (None: from the clock; the file keeps
        the one used).
    seeds : sequence of int or None, default None
        Instead of `seed`, an ensemble: ``x`` (and ``w``) of shape (K, N)
        along ``realization`` and ``t``, row k the run of seeds[k], as
        ``generate_ensemble`` makes it.
    generator : str, default "subtractive"
        The random stream, as generate's.
    law : str, default "lognormal"
        The factors' law, as generate's.
    model : str, default "dyadic"
        The cascade's model, as generate's.
    weights : bool, default False
        Also store the weights before modulation as the dataset ``w``.
    dtype : numpy.float64 or numpy.float32, default numpy.float64
        The stored values' type (float32: each the double rounded to nearest).
    start, stop : int or None, default None
        With philox, only values start .. stop - 1 (recorded as attributes).
    overwrite : bool, default False
        Replace an existing file.
    deflate : bool, default False
        Shuffle and deflate each chunk (HDF5's standard filters, which every
        reader has): a smaller file, slower to write; the same values.
    threads : int or None, default None
        The threads to use, as generate's.
    intermittency : float or None, default None
        The intermittency coefficient instead of `lam`, as generate's.

    Returns
    -------
    None
        The file at `path` is complete when the call returns.

    Raises
    ------
    ValueError
        What generate refuses for the run, an existing `path` without
        `overwrite`, a path that is not a regular file, or both `seed` and
        `seeds`.
    TypeError
        An argument of the wrong type.
    RuntimeError
        The file cannot be written (a full disk): nothing is left behind then,
        nor after Ctrl-C.

    Examples
    --------
    >>> import os, tempfile, cascade
    >>> path = os.path.join(tempfile.mkdtemp(), "run.nc")
    >>> cascade.save(path, 0.4, 12, 1, seed=7, generator="philox", weights=True)
    >>> with cascade.open(path) as r:
    ...     r.x.shape, r.provenance["generator"], r.w is not None
    ((4096,), 'philox', True)
    >>> cascade.verify(path)
    """
    from . import _lambda_of

    lam = _lambda_of(lam, intermittency, step_number)
    _native.save(_path(path), lam, step_number, n0, seed=seed, seeds=seeds, generator=generator, law=law, model=model,
                 weights=weights, dtype=dtype, start=start, stop=stop, overwrite=overwrite, deflate=deflate,
                 threads=threads)


def verify(path: PathLike, pieces: Optional[int] = None, *, threads: Optional[int] = None) -> None:
    """Makes the run a results file describes again and compares every value
    and weight bit for bit, as ``cascade --verify FILE`` does.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        A results file that ``save`` or ``cascade --output`` wrote.
    pieces : None, default None
        Every value is always checked; a sample of pieces is not taken, and
        anything but None is refused.
    threads : int or None, default None
        The threads that make the run again, as generate's.

    Returns
    -------
    None
        Quietly, when every value (and weight) is equal.

    Raises
    ------
    ValueError
        The first index that differs and its dataset ("x[12]"), or why the
        file is not a results file of cascade (not HDF5, truncated, a dataset
        missing or of another type, a forged attribute or checksum).
    TypeError
        A path that is not a str, bytes or os.PathLike.

    Examples
    --------
    >>> import os, tempfile, cascade
    >>> path = os.path.join(tempfile.mkdtemp(), "run.nc")
    >>> cascade.save(path, 0.4, 10, 2, seed=3, generator="philox")
    >>> cascade.verify(path)
    >>> cascade.verify(os.devnull)  # doctest: +ELLIPSIS
    Traceback (most recent call last):
    ValueError: ...
    """
    if pieces is not None:
        raise ValueError(f"pieces must be None (every value is checked), got {pieces!r}")
    status, message = _native.verify(_path(path), threads)
    if status != 0:
        raise ValueError(f"{os.fsdecode(_path(path))!r}: {message}")


def _zarr_store(name: str) -> Any:
    """The zarr group of a store that cascade.dask.save wrote, its attributes
    judged by the core's rules and its datasets by the results file's
    layout; ValueError in one line otherwise."""
    import zarr

    def refuse(why: str) -> ValueError:
        return ValueError(f"{name!r}: it is not a results store of cascade: {why}")

    try:
        group = zarr.open_group(name, mode="r")
        attributes = [(key, _plain(value)) for key, value in group.attrs.items()]
    except Exception as error:  # zarr says why in its own words, of its own types
        raise refuse(f"it cannot be read as a zarr group ({type(error).__name__})") from None
    refusal = _native.results_refusal(attributes)
    if refusal:
        raise refuse(refusal)
    described = dict(attributes)
    count = (described["stop"] - described["start"] if "start" in described
             else described["n0"] << described["step_number"])
    for dataset in ("x", "w"):
        if dataset not in group:
            if dataset == "x":
                raise refuse("it has no dataset x")
            continue
        array = group[dataset]
        if array.dtype not in (np.dtype("<f8"), np.dtype("<f4")):
            raise refuse(f"its dataset {dataset} is neither little-endian float64 nor float32")
        if array.shape != ((len(described["seeds"]), count) if "seeds" in described else (count,)):
            raise refuse(f"its dataset {dataset} is not one value of t for each of the run's {count}")
    if ("w" in group) != ("w_sha256" in described):
        raise refuse("its w_sha256 attribute and its dataset w do not go together")
    return group


def _plain(value: Any) -> Any:
    """An attribute as a plain Python value."""
    if isinstance(value, bytes):
        return value.decode()
    if isinstance(value, np.ndarray):
        return value.tolist()
    if isinstance(value, np.generic):
        return value.item()
    return value


class Results:
    """A results file opened to read: ``x`` and ``w`` (None without weights)
    read lazily, sliced as arrays are (``r.x[a:b]``, ``r.x[...]``);
    ``provenance``, a dict of its attributes; ``parameters``, the run's
    arguments ready for ``cascade.generate(**r.parameters)``. Close it (or
    use it in a ``with`` block) when done."""

    def __init__(self, path: PathLike) -> None:
        name = _path(path)
        self._file: Any = None
        if os.path.isdir(name):
            group = _zarr_store(os.fsdecode(name))
            self.x: Any = group["x"]
            self.w: Any = group["w"] if "w" in group else None
            self.provenance: Dict[str, Any] = {key: _plain(value) for key, value in group.attrs.items()}
            return
        import h5py

        status, message = _native.inspect(name)
        if status != 0:
            raise ValueError(f"{os.fsdecode(name)!r}: {message}")
        self._file = h5py.File(name, "r")
        self.x = self._file["x"]
        self.w = self._file["w"] if "w" in self._file else None
        self.provenance = {key: _plain(value) for key, value in self._file.attrs.items()}

    @property
    def parameters(self) -> Dict[str, Any]:
        """lam, step_number, n0, seed, generator, law, model, start and stop (for a
        piece), dtype and weights, as generate takes them; for an ensemble
        seeds instead of seed, start, stop and weights, as generate_ensemble
        takes them."""
        p = self.provenance
        parameters: Dict[str, Any] = {"lam": p["lambda"], "step_number": p["step_number"], "n0": p["n0"],
                                      "generator": p["generator"], "law": p["law"], "model": p["model"],
                                      "dtype": self.x.dtype.type}
        if "seeds" in p:
            # For generate_ensemble, which makes the values alone.
            parameters.update(seeds=p["seeds"])
            return parameters
        parameters.update(seed=p["seed"], weights=self.w is not None)
        if "start" in p:
            parameters.update(start=p["start"], stop=p["stop"])
        return parameters

    def close(self) -> None:
        if self._file is not None:
            self._file.close()

    def __enter__(self) -> "Results":
        return self

    def __exit__(self, *exception: Any) -> None:
        self.close()


def open(path: PathLike) -> Results:  # noqa: A001  (cascade.open, as the package names it)
    """A results file (or a zarr store that ``cascade.dask.save`` wrote)
    opened to read.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The file or store.

    Returns
    -------
    Results
        ``x`` and ``w`` (None without weights), read lazily and sliced as
        arrays are (``r.x[a:b]``, ``r.x[...]``); ``provenance``, a dict of the
        attributes; ``parameters``, the run's arguments for
        ``generate(**r.parameters)`` (``generate_ensemble`` for an ensemble).
        Close it, or use it in a ``with`` block.

    Raises
    ------
    ValueError
        In one line, when it is not a results file of cascade: not HDF5,
        truncated, a dataset missing or of another type, an attribute that
        describes no run of ours.
    TypeError
        A path that is not a str, bytes or os.PathLike.

    Examples
    --------
    >>> import os, tempfile, cascade
    >>> path = os.path.join(tempfile.mkdtemp(), "run.nc")
    >>> cascade.save(path, 0.4, 10, 1, seed=5, generator="philox")
    >>> with cascade.open(path) as r:
    ...     again = cascade.generate(**r.parameters)
    ...     bool((r.x[...] == again).all()), r.parameters["seed"]
    (True, 5)
    """
    return Results(path)
