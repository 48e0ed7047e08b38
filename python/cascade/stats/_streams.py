"""Standard output and standard error for the command lines, as the program
treats its own: results that cannot be written are one line and status 1, and
a refusal keeps its status even when standard error is closed.

A stream closed before the start is None in Python; a full disk or a closed
file only fails when the text is flushed, so every write is flushed at once.
"""
import errno
import os
import sys


class OutputError(Exception):
    """Standard output could not take the results; the message says why."""


def write_output(text, what):
    """Writes `text` to standard output, flushed; OutputError "cannot write <what>: <reason>" when it cannot."""
    try:
        if sys.stdout is None:
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        sys.stdout.write(text)
        sys.stdout.flush()
    except OSError as error:
        _discard("stdout")
        raise OutputError(f"cannot write {what}: {error.strerror or error}") from None


def _discard(name):
    """What is left in the buffer of sys.<name> goes nowhere: the interpreter
    would otherwise flush it again at exit, fail, and end with status 120."""
    stream = getattr(sys, name)
    if stream is None:
        return
    try:
        sink = os.open(os.devnull, os.O_WRONLY)
        os.dup2(sink, stream.fileno())
        os.close(sink)
    except (OSError, ValueError):
        setattr(sys, name, None)


def say(name, message):
    """One line `name: message` on standard error; without one to write to, nothing (the status still tells)."""
    if sys.stderr is None:
        return
    try:
        sys.stderr.write(f"{name}: {message}\n")
        sys.stderr.flush()
    except (OSError, ValueError):
        _discard("stderr")
