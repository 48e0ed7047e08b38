"""Reads a series of values, as text lines or raw little-endian doubles."""
import numpy as np


class InputError(Exception):
    """Input that cannot be checked; the message says why."""


def parse_text(data):
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
    values = parse_binary(stream.read()) if binary else parse_text(stream.read())
    bad = np.flatnonzero(~np.isfinite(values) | (values == 0))
    if bad.size:
        # 15 decimals print |x| < 5e-16 as 0; the raw doubles keep every value.
        hint = "" if binary else " (use the program's --binary output, which keeps values that print as 0)"
        raise InputError(f"value {bad[0] + 1} is {values[bad[0]]!r}, and {bad.size} values in all are 0 or "
                         f"not finite: log|x| needs finite values other than 0{hint}")
    return values
