"""Reads a series of values, as text lines or raw little-endian doubles."""
import numpy as np

# What text may hold: printable ASCII and line ends.
_TEXT_BYTES = bytes(range(0x20, 0x7F)) + b"\t\r\n"


class InputError(Exception):
    """Input that cannot be checked; the message says why."""


def _line_at(data, offset):
    first = data.rfind(b"\n", 0, offset) + 1
    return data.count(b"\n", 0, offset) + 1, data[first:].split(b"\n", 1)[0]


def _refuse_what_numpy_would_take(data):
    """Binary bytes, and digits grouped with '_' (which Python's float accepts), are not text numbers."""
    stray = data.translate(None, _TEXT_BYTES)
    if stray:
        offset = data.index(stray[:1])
        raise InputError(f"byte {offset + 1} ({data[offset]:#04x}) is not text: the input looks binary; "
                         f"did you mean --binary?")
    offset = data.find(b"_")
    if offset >= 0:
        number, line = _line_at(data, offset)
        raise InputError(f"line {number} is not one number: '{line.decode().strip()[:40]}'")


def parse_text(data):
    _refuse_what_numpy_would_take(data)
    lines = data.split(b"\n")
    if lines and lines[-1].strip() == b"":
        lines.pop()
    try:
        return np.array(lines, dtype=np.float64)
    except ValueError:
        for number, line in enumerate(lines, start=1):
            try:
                float(line)
            except ValueError:
                shown = line.decode("utf-8", "replace").strip()[:40]
                raise InputError(f"line {number} is not one number: '{shown}'") from None
        raise


def parse_binary(data):
    if len(data) % 8:
        raise InputError(f"binary input of {len(data)} bytes is not a whole number of 8-byte values")
    return np.frombuffer(data, dtype="<f8").astype(np.float64)


def read_series(stream, binary):
    """The values in `stream`; non-finite values are refused, zeros are kept."""
    values = parse_binary(stream.read()) if binary else parse_text(stream.read())
    bad = np.flatnonzero(~np.isfinite(values))
    if bad.size:
        raise InputError(f"value {bad[0] + 1} is {values[bad[0]]!r}, and {bad.size} values in all are not finite")
    return values
