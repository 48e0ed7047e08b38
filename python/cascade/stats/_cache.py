"""Simulated references kept on disk, so that a check of a shape and lambda
seen before costs no simulation.

A file is named by a hash of everything the reference depends on (the
package's version, the sources that build it, lambda, the shape, the lags,
text or binary, the simulation's constants) and holds that description too:
a file whose description differs, that cannot be read, or whose arrays are
not what a reference holds is ignored and made again. Writes go to a
temporary file first, so that a reader never sees half a file.
"""
import hashlib
import json
import os
import tempfile
import zipfile

import numpy as np

FORMAT = 1
_SOURCES = ("_cache.py", "_energy_steps.py", "_estimates.py", "_reference.py", "_theory.py", "simulate.py")


def directory():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "cascade")


def _source_digest():
    digest = hashlib.sha256()
    here = os.path.dirname(os.path.abspath(__file__))
    for name in _SOURCES:
        with open(os.path.join(here, name), "rb") as source:
            digest.update(source.read())
    return digest.hexdigest()


def key(**parts):
    from cascade import __version__  # the package's version, from its compiled module

    return json.dumps({"format": FORMAT, "version": __version__, "sources": _source_digest(), **parts},
                      sort_keys=True)


def _path(description):
    return os.path.join(directory(), "reference-" + hashlib.sha256(description.encode()).hexdigest()[:32] + ".npz")


def load(description, fields):
    """The arrays stored under `description`, or None. fields: {name: (shape, dtype kind)}, shape None for any."""
    try:
        with open(_path(description), "rb") as stream, np.load(stream, allow_pickle=False) as stored:
            if str(stored["description"]) != description:
                return None
            arrays = {}
            for name, (shape, kind) in fields.items():
                array = stored[name]
                if array.dtype.kind != kind or (shape is not None and array.shape != shape):
                    return None
                arrays[name] = array
            return arrays
    except (OSError, KeyError, ValueError, EOFError, zipfile.BadZipFile):
        return None


def store(description, arrays):
    """Keeps the arrays; a cache that cannot be written is simply not kept."""
    folder = directory()
    try:
        os.makedirs(folder, exist_ok=True)
        handle, temporary = tempfile.mkstemp(dir=folder, prefix=".reference-", suffix=".npz")
        try:
            with os.fdopen(handle, "wb") as stream:
                np.savez(stream, description=np.array(description), **arrays)
            os.replace(temporary, _path(description))
        except BaseException:
            os.unlink(temporary)
            raise
    except OSError:
        pass
