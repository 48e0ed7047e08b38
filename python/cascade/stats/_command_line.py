"""The command line of the check (python3 -m cascade.stats, tools/cascade_stats.py).

Exit status: 0 every row that can be judged agrees (or lambda was estimated),
1 some row does not (they are named), or the results could not be written or
memory could not be had, 2 the command line or the input cannot be used.

As in the program, only words that begin with -- are options, they may stand
anywhere among the other words, and a lone -- ends them.
"""
import argparse
import errno
import math
import os
import re
import signal
import sys

import numpy as np

from . import _cache, _check, _input, _lambda, _laws, _progress, _streams
from .reference import fit as _reference_fit
from ._arguments import run_arguments
from .simulate import SimulationError

MAX_VALUES = 2**31 - 1
# Beyond this no n0 keeps N within MAX_VALUES (the module's own rule refuses 31 with the same words).
MOST_STEPS = 31
SHOWN_CHARACTERS = 80
DECIMAL = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
WHOLE = re.compile(r"\+?\d+")

USAGE = """%(prog)s [--binary] [--realizations K] [--law LAW] [--no-cache] lambda step_number n0 [FILE ...]
       %(prog)s --estimate [--binary] [--realizations K] step_number n0 [FILE ...]"""
DESCRIPTION = """\
Reads series that `cascade lambda step_number n0` wrote (text lines, or raw
little-endian doubles with --binary) from each FILE, or from standard input
when there is none, and prints for the mean square, the mean and variance of
log|x| and the lag covariance C(l) at l = 1, 2, 4, ... the estimate, its
standard error, the theoretical value and the deviation from series of the
same shape that the program simulates; then, for the law of a step's factor
beyond its mean and variance, the kurtosis K(L) of the log of the energy
ratio of sibling boxes of L = 1, 2, 4 ... 64 values, judged together as one
law deviation. With --law, the series are held to another multiplier law
(as `cascade --generator philox --law LAW` makes them): the reference is
simulated under it and each row's theory is its. Several FILEs, or K series in one
stream, are checked together as an ensemble of independent realizations.
Values that are exactly 0 (or text printed as 0) are left out of the log|x|
rows, and the output says how many.

With --estimate, lambda is not given: it is estimated, with a 95% confidence
interval, from the variance of log|x| and the fall of C(l) per doubling of l.

  lambda        the lambda the series was made with, a finite decimal number
  step_number   number of doubling steps, a whole number of at least 1
  n0            number of initial cells, a whole number of at least 1"""
EPILOG = """\
Options may stand anywhere among the other words; -- ends them.

exit status: 0 every row that can be judged agrees, alone, jointly and in the law (or lambda was estimated),
1 some row does not (the last line names them), or the results could not be
written or memory could not be had (one line on standard error), 2 the
command line or the input cannot be used."""
# Options that take the next word as their value (or --option=value).
VALUE_OPTIONS = ("--realizations", "--law")


class UsageError(Exception):
    pass


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError(message)


def parser(prog):
    """The options (the other words are split off before it sees them), and --help's text."""
    result = _Parser(prog=prog, usage=USAGE, description=DESCRIPTION, epilog=EPILOG, allow_abbrev=False,
                     add_help=False, formatter_class=argparse.RawDescriptionHelpFormatter)
    result.add_argument("--help", action="store_true", help="show this help and exit")
    result.add_argument("--binary", action="store_true",
                        help="read raw little-endian 8-byte doubles, as `cascade --binary` writes them "
                             "(default: text, one value a line)")
    result.add_argument("--realizations", metavar="K", default="1",
                        help="each input holds K independent series of the shape, one after another "
                             "(default: 1)")
    result.add_argument("--law", metavar="LAW", default=None,
                        help="the multiplier law the series were made with: lognormal, binomial, microcanonical "
                             "or logpoisson[:BETA], as the program's --law (default: lognormal)")
    result.add_argument("--estimate", action="store_true",
                        help="estimate lambda with a 95%% confidence interval instead of checking a given one "
                             "(default: check)")
    result.add_argument("--no-cache", action="store_true",
                        help="simulate the reference afresh, neither reading nor keeping it in "
                             "$XDG_CACHE_HOME/cascade (default: ~/.cache/cascade) (default: use the cache)")
    return result


def split_words(words):
    """(options, other words): a word that begins with -- is an option, wherever
    it stands, until a lone --; a value option takes the next word as its value."""
    options, others = [], []
    rest = iter(words)
    for word in rest:
        if word == "--":
            others.extend(rest)
        elif word in VALUE_OPTIONS:
            value = next(rest, None)
            if value is None:
                raise UsageError(f"option '{word}' needs a value")
            options.append(f"{word}={value}")
        elif word.startswith("--"):
            options.append(word)
        else:
            others.append(word)
    return options, others


def shown(text):
    """A word as a refusal quotes it: cut short, as the program cuts its own, past SHOWN_CHARACTERS."""
    return text if len(text) <= SHOWN_CHARACTERS else text[:SHOWN_CHARACTERS] + "…"


def whole_number(name, text, most, too_large=None):
    """The word as a whole number from 1 to `most`, read without turning thousands of digits into an int;
    too_large: the refusal of a larger one (default: '<name> must be at most <most>')."""
    digits = text.lstrip("+").lstrip("0") if WHOLE.fullmatch(text) else None
    if digits is None or not digits:
        raise UsageError(f"{name} must be a whole number of at least 1, got '{shown(text)}'")
    if len(digits) > len(str(most)) or int(digits) > most:
        raise UsageError(too_large or f"{name} must be at most {most}, got '{shown(text)}'")
    return int(digits)


def parse_options(words, prog):
    """(options, the other words)."""
    option_words, others = split_words(words)
    options, unknown = parser(prog).parse_known_args(option_words)
    if unknown:
        raise UsageError(f"unknown option '{unknown[0]}'")
    return options, others


def parse_law(options):
    """The Law of --law (the program's own words when it names none); refused beside --estimate,
    whose estimate of lambda holds for every law alike."""
    if options.law is None:
        return _laws.parse_law("lognormal")
    if options.estimate:
        raise UsageError("--law is for the check: --estimate's estimate of lambda is the same for every law")
    try:
        return _laws.parse_law(options.law)
    except ValueError as error:
        raise UsageError(f"--{error}") from None


def parse_arguments(options, words):
    """lambda (None with --estimate), step_number, n0, realizations and the input paths."""
    names = ["step_number", "n0"] if options.estimate else ["lambda", "step_number", "n0"]
    if len(words) < len(names):
        raise UsageError(f"expected {' '.join(names)} [FILE ...], got {len(words)} arguments")
    numbers, paths = words[:len(names)], words[len(names):] or ["-"]
    lam = None
    if not options.estimate:
        lam_text = numbers.pop(0)
        if not DECIMAL.fullmatch(lam_text) or not math.isfinite(float(lam_text)):
            raise UsageError(f"lambda must be a finite decimal number, got '{shown(lam_text)}'")
        lam = float(lam_text)
    steps = whole_number("step_number", numbers[0], MOST_STEPS,
                         f"n0 * 2^step_number must be at most {MAX_VALUES}, got {shown(numbers[1])} * "
                         f"2^{shown(numbers[0])}")
    n0 = whole_number("n0", numbers[1], MAX_VALUES)
    realizations = whole_number("--realizations", options.realizations, MAX_VALUES)
    try:
        run_arguments(0.0 if lam is None else lam, steps, n0)  # what the program and generate refuse
    except ValueError as error:
        raise UsageError(str(error)) from None
    return lam, steps, n0, realizations, paths


def read_input(path, binary, expected, shape):
    try:
        if path == "-":
            if sys.stdin is None:  # closed before the start
                raise OSError(errno.EBADF, os.strerror(errno.EBADF))
            values = _input.read_series(sys.stdin.buffer, binary, expected)
        else:
            with open(path, "rb") as stream:
                values = _input.read_series(stream, binary, expected)
    except OSError as error:
        raise _input.InputError(f"cannot read {_where(path)}: {error.strerror}") from None
    except _input.TooManyValues:
        raise _input.InputError(f"{_where(path)}: too many values: expected {shape} = {expected} values, "
                                f"and there are more") from None
    except _input.InputError as error:
        raise _input.InputError(f"{_where(path)}: {error}") from None
    if values.size != expected:
        raise _input.InputError(f"{_where(path)}: expected {shape} = {expected} values, read {values.size}")
    return values


def _where(path):
    return "standard input" if path == "-" else path


def describe_shape(steps, n0, count, realizations):
    shape = f"step_number = {steps}, n0 = {n0}: {count // realizations} values"
    return shape if realizations == 1 else f"{shape}, {realizations} realizations ({count} in all)"


def format_check(check, lam, steps, n0, as_text):
    drawn = (f"; each draws the factors of the first {check.drawn_steps} steps afresh, exactly, over "
             f"{check.simulated_series} series the program simulated below them"
             if check.drawn_steps else f", put together from {check.simulated_series} that the program simulated")
    # The law is named where it is not the program's default, so the default's first line stays as it was.
    law = "" if check.law.name == "lognormal" else f", law {check.law.text}"
    lines = [f"lambda = {lam:g}, {describe_shape(steps, n0, check.values, check.realizations)}{law}",
             f"reference: {check.reference_series} series of the same shape{drawn}"]
    if check.zeros:
        why = "exactly 0 or printed as 0 (below 5e-16)" if as_text else "exactly 0"
        lines.append(f"left out of the log|x| rows: {check.zeros} values that are {why}, which have no log "
                     f"(the reference leaves out its own alike)")
    lines.append("dev: (estimate - mean of the reference) / its standard deviation; mean x^2 on a log scale")
    lines.append(f"{'statistic':<12} {'estimate':>11} {'std error':>10} {'theory':>11} {'dev':>7}  agrees")
    for row in check.rows:
        judgement = (f"{'-':>7}  not judged" if row.agrees is None
                     else f"{row.deviation:>7.2f}  {'yes' if row.agrees else 'NO'}")
        lines.append(f"{row.name:<12} {row.estimate:>11.6f} {row.standard_error:>10.6f} {row.theory:>11.6f} "
                     f"{judgement}")
    lines.append(f"{'jointly':<12} {'':>11} {'':>10} {'':>11} {check.joint_deviation:>7.2f}  "
                 f"{'yes' if check.joint_agrees else 'NO'}")
    for row in check.law_rows:
        judgement = f"{'-':>7}  not judged" if row.agrees is None else f"{row.deviation:>7.2f}  in the law"
        lines.append(f"{row.name:<12} {row.estimate:>11.6f} {row.standard_error:>10.6f} {'-':>11} {judgement}")
    if check.law_judged:
        lines.append(f"{'law':<12} {'':>11} {'':>10} {'':>11} {check.law_deviation:>7.2f}  "
                     f"{'yes' if check.law_agrees else 'NO'}")
    lines.append(f"row threshold {check.threshold:.2f}: the largest |dev| of the rows above 'jointly' stays within "
                 f"it for {_reference_fit.ROW_QUANTILE:.2%} of reference series")
    lines.append(f"joint threshold {check.joint_threshold:.2f}: the rows' root mean square dev, their correlation "
                 f"taken out, stays within it for {_reference_fit.JOINT_QUANTILE:.2%} of reference series")
    if check.law_rows:
        lines.append("K(L): E[d^4] / E[d^2]^2, d the log of the ratio of the energies (sums of x^2) of sibling "
                     "boxes of L values; no closed form, placed by the reference only")
    if check.law_judged:
        lines.append(f"law threshold {check.law_threshold:.2f}: the K rows' devs, summed with weights against "
                     f"their correlation, stay within it for {_reference_fit.LAW_QUANTILE:.2%} of reference series")
    if check.theory_rows:
        lines.append(f"reference against theory: largest |mean - theory| {check.theory_deviation:.2f} standard "
                     f"errors over {check.theory_rows} rows of the {check.simulated_series} simulated series, "
                     f"threshold {check.theory_threshold:.2f}: {'agrees' if check.theory_agrees else 'DISAGREES'}")
    else:
        lines.append("reference against theory: not held (its values underflow to 0, and theory does not "
                     "describe what is left)")
    if check.not_judged:
        lines.append(f"not judged at lambda = {lam:g}: {', '.join(check.not_judged)} (the simulated series cannot "
                     f"place them: at this lambda the values underflow to 0 and leave rows without a value, and "
                     f"without drawn steps the mean square's tail rests on a few values)")
    failing = check.disagreeing + ([] if check.joint_agrees else ["the rows jointly"])
    failing += [] if check.law_agrees else ["the law of one step (the K rows)"]
    failing += [] if check.theory_agrees else ["the simulated reference with theory"]
    judged = sum(row.agrees is not None for row in check.rows)
    of_the_law = ", and the law of one step" if check.law_judged else ""
    if failing:
        lines.append(f"disagree: {', '.join(failing)}")
    elif check.not_judged:
        lines.append(f"all {judged} judged rows agree, alone and jointly{of_the_law}")
    else:
        lines.append(f"all {judged} rows agree, alone and jointly{of_the_law}")
    return "".join(line + "\n" for line in lines)


def format_estimate(estimate, steps, n0, count, realizations):
    return (f"{describe_shape(steps, n0, count, realizations)}\n"
            + (f"lambda = 0.0000, one-sided 95% confidence interval 0 to {estimate.high:.4f} (the estimate of "
               f"lambda^2 is at most 0)\n" if estimate.one_sided else
               f"lambda = {estimate.lam:.4f}, 95% confidence interval {estimate.low:.4f} to {estimate.high:.4f}\n")
            + f"lambda^2 = {estimate.lambda_squared:.5f} +- {estimate.standard_error:.5f} "
            f"(standard error: {estimate.error_source})\n")


def run(words, prog):
    options, others = parse_options(words, prog)
    if options.help:
        _streams.write_output(parser(prog).format_help(), "to standard output")
        return 0
    lam, steps, n0, realizations, paths = parse_arguments(options, others)
    law = parse_law(options)
    per_input = realizations * (n0 << steps)
    shape = "n0 * 2^step_number" if realizations == 1 else "K * n0 * 2^step_number"
    values = [read_input(path, options.binary, per_input, shape) for path in paths]
    realizations *= len(values)
    series = np.concatenate(values)
    if options.estimate:
        estimate = _lambda.estimate_lambda(series, steps, n0, realizations=realizations)
        _streams.write_output(format_estimate(estimate, steps, n0, series.size, realizations), "the estimate")
        return 0
    check = _check.check(series, lam, steps, n0, realizations=realizations, law=law, as_text=not options.binary,
                         cache=not options.no_cache,
                         progress=_progress.Progress(NAME, "simulating the reference"))
    _streams.write_output(format_check(check, lam, steps, n0, not options.binary), "the table")
    return 0 if check.agrees else 1


NAME = "cascade_stats"


def main(words, prog, name):
    """Runs the command line `words`; prog is how usage names the command, name prefixes errors."""
    global NAME
    NAME = name
    _cache.NAME = name
    # A reader that stops early (| head), and Ctrl-C, end the tool as they end other filters: quietly.
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    try:
        return run(words, prog)
    except (UsageError, _input.InputError, _check.UncheckableSeries, SimulationError) as error:
        _streams.say(name, error)
        return 2
    except _streams.OutputError as error:
        _streams.say(name, error)
        return 1
    except MemoryError as error:
        _streams.say(name, f"cannot allocate memory{': ' + str(error) if str(error) else ''}")
        return 1
