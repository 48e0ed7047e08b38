#!/usr/bin/env python3
"""Checks a cascade series against the statistics that theory predicts.

Exit status: 0 every row agrees within four standard errors, 1 some row does
not (they are named), 2 the command line or the input cannot be used.
"""
import re
import sys

import python_with_numpy

python_with_numpy.require("cascade_stats", "numpy")

import cascade_estimates  # noqa: E402  (needs numpy, checked above)
import series_input  # noqa: E402

TOOL = "cascade_stats"
USAGE = "usage: cascade_stats.py [--binary] lambda step_number n0 [FILE]"
HELP = f"""{USAGE}
Reads the series that `cascade lambda step_number n0` writes (text lines, or raw
little-endian doubles with --binary) from FILE or standard input, and prints
each statistic's estimate, standard error and theoretical value.
Exit status: 0 all rows agree within 4 standard errors, 1 some do not, 2 error.
"""
MAX_VALUES = 2**31 - 1
DECIMAL = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
WHOLE = re.compile(r"\+?\d+")


class UsageError(Exception):
    pass


def parse_command_line(words):
    binary = False
    positional = []
    options_ended = False
    for word in words:
        if options_ended or not word.startswith("--"):
            positional.append(word)
        elif word == "--":
            options_ended = True
        elif word == "--binary":
            binary = True
        elif word == "--help":
            sys.stdout.write(HELP)
            sys.exit(0)
        else:
            raise UsageError(f"unknown option '{word}'")
    if not 3 <= len(positional) <= 4:
        raise UsageError(f"expected lambda step_number n0 [FILE], got {len(positional)} arguments")
    lam_text, steps_text, n0_text = positional[:3]
    if not DECIMAL.fullmatch(lam_text):
        raise UsageError(f"lambda must be a finite decimal number, got '{lam_text}'")
    for name, text in (("step_number", steps_text), ("n0", n0_text)):
        if not WHOLE.fullmatch(text) or int(text) < 1:
            raise UsageError(f"{name} must be a whole number of at least 1, got '{text}'")
    lam, steps, n0 = float(lam_text), int(steps_text), int(n0_text)
    if steps > 31 or n0 << steps > MAX_VALUES:
        raise UsageError(f"n0 * 2^step_number must be at most {MAX_VALUES}, got {n0} * 2^{steps}")
    path = positional[3] if len(positional) == 4 else "-"
    return binary, lam, steps, n0, path


def read_values(path, binary, expected):
    try:
        if path == "-":
            values = series_input.read_series(sys.stdin.buffer, binary)
        else:
            with open(path, "rb") as stream:
                values = series_input.read_series(stream, binary)
    except OSError as error:
        raise series_input.InputError(f"cannot read {path}: {error.strerror}") from None
    if values.size != expected:
        raise series_input.InputError(f"expected n0 * 2^step_number = {expected} values, read {values.size}")
    return values


def print_table(check, lam, steps, n0, count):
    print(f"lambda = {lam:g}, step_number = {steps}, n0 = {n0}: {count} values")
    print(f"standard errors: {check.error_source}")
    print(f"{'statistic':<12} {'estimate':>11} {'std error':>10} {'theory':>11} {'dev/SE':>7}  agrees")
    for row in check.rows:
        print(f"{row.name:<12} {row.estimate:>11.6f} {row.standard_error:>10.6f} {row.theory:>11.6f} "
              f"{row.deviation:>7.2f}  {'yes' if row.agrees else 'NO'}")
    limit = f"{cascade_estimates.AGREEMENT_IN_STANDARD_ERRORS:g} standard errors"
    if check.disagreeing:
        print(f"disagree beyond {limit}: {', '.join(check.disagreeing)}")
    else:
        print(f"all {len(check.rows)} rows agree within {limit}")


def main(words):
    try:
        binary, lam, steps, n0, path = parse_command_line(words)
        values = read_values(path, binary, n0 << steps)
    except UsageError as error:
        sys.stderr.write(f"{TOOL}: {error}\n{USAGE}\n")
        return 2
    except series_input.InputError as error:
        sys.stderr.write(f"{TOOL}: {error}\n")
        return 2
    check = cascade_estimates.check_series(values, lam, steps, n0)
    print_table(check, lam, steps, n0, values.size)
    return 1 if check.disagreeing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
