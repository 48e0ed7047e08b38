"""Results files: a run saved with what makes it again (the core writes and
checks them, as ``cascade --output`` and ``--verify`` do), reopened lazily
through h5py."""

from __future__ import annotations

import os
from typing import Any, Dict, Optional, Union

import numpy as np

from . import _native

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _path(path: PathLike) -> Union[str, bytes]:
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be a str, bytes or os.PathLike, got {type(path).__name__}")
    return os.fspath(path)


def save(path: PathLike, lam: float, step_number: int, n0: int, *, seed: Optional[int] = None,
         seeds: Any = None, generator: str = "subtractive", law: str = "lognormal", model: str = "dyadic",
         weights: bool = False, dtype: Any = np.float64, start: Optional[int] = None, stop: Optional[int] = None,
         overwrite: bool = False, deflate: bool = False, threads: Optional[int] = None) -> None:
    """Writes the series (and with ``weights=True`` its weights) into the
    results file `path`: one HDF5 file laid out as netCDF-4, the same bytes
    and attributes (but the time) as ``cascade --output FILE`` writes for the
    same run, made window by window in bounded memory (no whole array is
    held). The file is written under a temporary name in its folder and
    renamed when complete.

    The run's arguments are generate's; ``dtype=numpy.float32`` stores
    float32 values; ``deflate=True`` shuffles and deflates each chunk (HDF5's
    standard filters, which every reader has): a smaller file, slower to
    write. An existing `path` is a ValueError unless
    ``overwrite=True``; a path that is not a regular file (a FIFO, a device)
    always is. ``seeds=[s0, s1, ...]`` (instead of `seed`) saves an
    ensemble: ``x`` (and ``w``) of shape (K, N) along ``realization`` and
    ``t``, row k the run of seeds[k], as ``generate_ensemble`` makes it. Raises RuntimeError when the file cannot be written; nothing
    is left behind then, nor after Ctrl-C.
    """
    _native.save(_path(path), lam, step_number, n0, seed=seed, seeds=seeds, generator=generator, law=law, model=model,
                 weights=weights, dtype=dtype, start=start, stop=stop, overwrite=overwrite, deflate=deflate,
                 threads=threads)


def verify(path: PathLike, pieces: Optional[int] = None, *, threads: Optional[int] = None) -> None:
    """Makes the run the results file `path` describes again and compares
    every value and weight bit for bit: returns quietly when all are equal,
    raises ValueError naming the first index that differs (and the dataset),
    or why the file is not a results file of cascade. Every value is
    checked: `pieces` (a sample of pieces) is not taken."""
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
    """The results file `path` opened to read (see Results). ValueError in
    one line when it is not a results file of cascade: not HDF5, truncated,
    a dataset missing or of another type, an attribute that describes no run
    of ours."""
    return Results(path)
