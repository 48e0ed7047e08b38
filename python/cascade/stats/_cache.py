"""Simulated references kept on disk, so that a check of a shape and lambda
seen before costs no simulation.

A file is named by a hash of everything the reference depends on (the
package's version, the compiled module's own bytes, the sources that build
it, lambda, the shape, the lags, text or binary, the simulation's
constants) and holds that description too. Whatever is on disk is
untrusted: the folder must belong to the user and be writable by no one
else, or the cache is not used at all (one line on standard error says
why); an entry is opened without following a link or waiting on a pipe, and
must be a regular file of the user's, of a sane size, whose description
matches and whose arrays the caller validates. Anything else is made again
and written over it. Writes go to a new file that is then renamed into
place (_files.replace), so a reader never sees half a file; a write that
fails is one line on standard error, and the check goes on without it.
"""
import hashlib
import io
import json
import os
import stat
import sys

import numpy as np

from . import _files

FORMAT = 2
_SOURCES = ("_cache.py", "_energy_steps.py", "_estimates.py", "reference/__init__.py", "reference/fit.py",
            "reference/judge.py", "reference/plan.py", "reference/series.py", "reference/stored.py", "_theory.py",
            "simulate.py")
# A reference is a few kilobytes; a file far larger is not one, and is not read.
LARGEST_ENTRY_BYTES = 1 << 24
_OPEN_ENTRY = os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | getattr(os, "O_CLOEXEC", 0)
_OPEN_FOLDER = os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW | getattr(os, "O_CLOEXEC", 0)
# What the notes on standard error begin with; the command line sets its own name.
NAME = "cascade.stats"
_said = set()


def directory():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "cascade")


def note(message):
    """One line on standard error, once per process for each message: the check goes on without the cache."""
    if message in _said or sys.stderr is None:
        return
    _said.add(message)
    try:
        sys.stderr.write(f"{NAME}: {message}\n")
        sys.stderr.flush()
    except (OSError, ValueError):
        pass


def _source_digest():
    digest = hashlib.sha256()
    here = os.path.dirname(os.path.abspath(__file__))
    for name in _SOURCES:
        with open(os.path.join(here, name), "rb") as source:
            digest.update(source.read())
    return digest.hexdigest()


def _module_digest():
    """The compiled module's bytes: a core rebuilt from changed sources is another reference,
    even where the project's version stays the same."""
    from cascade import cascade_native  # the package's compiled module, loaded with the package

    digest = hashlib.sha256()
    with open(cascade_native.__file__, "rb") as module:
        for block in iter(lambda: module.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def key(**parts):
    from cascade import __version__  # the package's version, from its compiled module

    return json.dumps({"format": FORMAT, "version": __version__, "module": _module_digest(),
                       "sources": _source_digest(), **parts}, sort_keys=True)


def _name(description):
    return "reference-" + hashlib.sha256(description.encode()).hexdigest()[:32] + ".npz"


def _open_folder(create):
    """A descriptor of the cache folder when it is safe to use (the user's, writable by no one else), else None."""
    folder = directory()
    try:
        if create:
            os.makedirs(folder, mode=0o700, exist_ok=True)
        descriptor = os.open(folder, _OPEN_FOLDER)
    except FileNotFoundError:
        return None
    except OSError as error:
        why = "it is a symbolic link" if os.path.islink(folder) else error.strerror
        note(f"the reference cache {folder} is not used: {why}")
        return None
    status = os.fstat(descriptor)
    why = None
    if status.st_uid != os.geteuid():
        why = f"it belongs to user {status.st_uid}, not to {os.geteuid()}"
    elif status.st_mode & (stat.S_IWGRP | stat.S_IWOTH):
        why = f"others may write in it (mode {stat.S_IMODE(status.st_mode):o})"
    if why is None:
        return descriptor
    os.close(descriptor)
    note(f"the reference cache {folder} is not used: {why}")
    return None


def _read_entry(folder_fd, name):
    """The bytes of a regular file of the user's, or None: a link, a pipe, a device, another's file or a huge one."""
    try:
        descriptor = os.open(name, _OPEN_ENTRY, dir_fd=folder_fd)
    except OSError:
        return None
    try:
        status = os.fstat(descriptor)
        if (not stat.S_ISREG(status.st_mode) or status.st_uid != os.geteuid()
                or status.st_size > LARGEST_ENTRY_BYTES):
            return None
        with os.fdopen(descriptor, "rb", closefd=False) as stream:
            return stream.read(LARGEST_ENTRY_BYTES + 1)
    except OSError:
        return None
    finally:
        os.close(descriptor)


def load(description):
    """{name: array} stored under `description`, or None; the caller validates the arrays."""
    folder_fd = _open_folder(create=False)
    if folder_fd is None:
        return None
    try:
        data = _read_entry(folder_fd, _name(description))
    finally:
        os.close(folder_fd)
    if data is None or len(data) > LARGEST_ENTRY_BYTES:
        return None
    try:
        stored = np.load(io.BytesIO(data), allow_pickle=False)
        if not isinstance(stored, np.lib.npyio.NpzFile):  # a lone .npy array
            return None
        with stored:
            if "description" not in stored.files or str(stored["description"]) != description:
                return None
            return {name: stored[name] for name in stored.files if name != "description"}
    except MemoryError:
        raise
    except Exception:  # noqa: BLE001  (a damaged or foreign file, whatever numpy or zipfile make of it)
        return None


def store(description, arrays):
    """Keeps the arrays; a cache that cannot be written is one line on standard error, and not kept."""
    buffer = io.BytesIO()
    np.savez(buffer, description=np.array(description), **arrays)
    folder_fd = _open_folder(create=True)
    if folder_fd is None:
        return
    try:
        _files.replace(_name(description), lambda stream: stream.write(buffer.getvalue()),
                       folder_fd=folder_fd, mode=0o600)
    except OSError as error:
        note(f"cannot keep the reference in {directory()}: {error.strerror or error}")
    finally:
        os.close(folder_fd)
