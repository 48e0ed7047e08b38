"""Reads a series of values, as text lines or raw little-endian doubles.

Reading stops one value past what is expected: an endless or huge input
(/dev/zero, `yes`) is refused as too many values, never read into memory
whole.
"""
import numpy as np

# What text may hold: printable ASCII and line ends.
_TEXT_BYTES = bytes(range(0x20, 0x7F)) + b"\t\r\n"
CHUNK_BYTES = 1 << 20
# No number the program writes comes near this; a longer line is not one number.
LONGEST_LINE_BYTES = 4096


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


class TooManyValues(InputError):
    """The input goes on past the values expected; reading stopped there."""


def _too_many(expected):
    return TooManyValues(f"too many values: expected {expected}, and there are more")


def _read_binary(stream, expected):
    """The bytes of at most `expected` doubles; TooManyValues once the bytes of one more are read."""
    bound = 8 * (expected + 1)
    chunks, size = [], 0
    while size < bound:
        chunk = stream.read(min(CHUNK_BYTES, bound - size))
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)
        size += len(chunk)
    raise _too_many(expected)


def _read_text(stream, expected):
    """The text of at most `expected` lines (and a last one that is blank); refused as soon as it
    is not text, holds a line of another value, or a line too long to be a number."""
    chunks, lines, line_bytes, offset = [], 0, 0, 0
    while True:
        chunk = stream.read(CHUNK_BYTES)
        if not chunk:
            return b"".join(chunks)
        stray = chunk.translate(None, _TEXT_BYTES)
        if stray:
            at = chunk.index(stray[:1])
            raise InputError(f"byte {offset + at + 1} ({chunk[at]:#04x}) is not text: the input looks binary; "
                             f"did you mean --binary?")
        offset += len(chunk)
        ends_at = np.flatnonzero(np.frombuffer(chunk, dtype=np.uint8) == ord("\n"))
        ends = ends_at.size
        # Lengths of the lines this chunk ends (the first one begun before it), then of the one it leaves open.
        lengths = np.diff(ends_at, prepend=-1 - line_bytes) - 1
        line_bytes = len(chunk) - 1 - int(ends_at[-1]) if ends else line_bytes + len(chunk)
        long_lines = np.flatnonzero(np.append(lengths, line_bytes) > LONGEST_LINE_BYTES)
        if long_lines.size:
            raise InputError(f"line {lines + int(long_lines[0]) + 1} is longer than {LONGEST_LINE_BYTES} bytes: "
                             f"not one number")
        lines += ends
        chunks.append(chunk)
        # Line expected + 1 has begun (or ended): only a blank last line may follow the values.
        if lines > expected or (lines == expected and line_bytes and chunk[-line_bytes:].strip()):
            raise _too_many(expected)


def read_series(stream, binary, expected):
    """The values in `stream`, of which there should be `expected`: at most one more is read.
    Non-finite values are refused, zeros are kept."""
    values = parse_binary(_read_binary(stream, expected)) if binary else parse_text(_read_text(stream, expected))
    bad = np.flatnonzero(~np.isfinite(values))
    if bad.size:
        raise InputError(f"value {bad[0] + 1} is {values[bad[0]]!r}, and {bad.size} values in all are not finite")
    return values
