"""Random series whose magnitudes follow a dyadic multiplicative cascade.

From ``n0`` cells of weight 1 the cascade doubles the cells ``step_number``
times; each child takes its parent's weight times exp(sigma z - sigma^2), z a
fresh standard normal deviate and sigma = |lam| / sqrt(step_number). Each of
the N = n0 * 2^step_number final weights w is then multiplied by one more
standard normal deviate g: x = w * g.

The values are exactly the doubles that ``cascade --binary --seed T lam
step_number n0`` writes, made by the same code::

    import cascade
    x = cascade.generate(0.4, 16, 1, seed=1700000000)
    x, w = cascade.generate(0.4, 16, 1, seed=1700000000, weights=True)
    print(cascade.summary(x).line)      # the program's summary line
"""

from __future__ import annotations

from typing import Any, Iterable, Literal, NamedTuple, Optional, Tuple, Type, TypedDict, Union, cast, overload

from . import _compiled_module

try:
    _native = _compiled_module.load()
except ImportError as _error:
    _compiled_module.exit_if_starting_a_command(_error)
    _compiled_module.say_in_one_line_if_uncaught(_error)
    raise

import numpy as np  # noqa: E402  (loaded, or refused in one line, with the compiled module)
from numpy.typing import NDArray  # noqa: E402

__all__ = ["generate", "generate_ensemble", "summary", "last_seed", "limits", "laws", "models", "Summary", "Limits",
           "LawRule", "ModelRule", "save", "open", "verify", "Results", "__version__"]

__version__: str = _native.__version__
"""The project's version, the one that ``cascade --version`` prints."""

Series = NDArray[np.float64]
Series32 = NDArray[np.float32]
AnySeries = Union[Series, Series32]


@overload
def generate(lam: float, step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[False] = False, out: Optional[Series] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             law: str = "lognormal", model: str = "dyadic") -> Series: ...


@overload
def generate(lam: float, step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[True], out: Optional[Tuple[Series, Series]] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             law: str = "lognormal", model: str = "dyadic") -> Tuple[Series, Series]: ...


@overload
def generate(lam: float, step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[False] = False, out: Optional[Series32] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             dtype: Type[np.float32], law: str = "lognormal", model: str = "dyadic") -> Series32: ...


@overload
def generate(lam: float, step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[True], out: Optional[Tuple[Series32, Series32]] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             dtype: Type[np.float32], law: str = "lognormal", model: str = "dyadic") -> Tuple[Series32, Series32]: ...


@overload
def generate(lam: float, step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: bool, out: Union[None, AnySeries, Tuple[AnySeries, AnySeries]] = None,
             generator: str = "subtractive", start: Optional[int] = None, stop: Optional[int] = None,
             threads: Optional[int] = None, dtype: Any = np.float64, law: str = "lognormal",
             model: str = "dyadic") -> Union[AnySeries, Tuple[AnySeries, AnySeries]]: ...


def generate(
    lam: float,
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: bool = False,
    out: Union[None, AnySeries, Tuple[AnySeries, AnySeries]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
    dtype: Any = np.float64,
    law: str = "lognormal",
    model: str = "dyadic",
) -> Union[AnySeries, Tuple[AnySeries, AnySeries]]:
    """The series of N = n0 * 2^step_number values, as a float64 array (or
    float32, with ``dtype=numpy.float32``).

    lam: the log-scale spread (finite; only its square matters).
    step_number: the number of doubling steps, at least 1.
    n0: the number of initial cells, at least 1; N may be at most 2147483647
        (2^48 with ``generator="philox"``).
    seed: the Unix second T that seeds the run, 0 to 2147483647, as the
        program's ``--seed T`` (with philox: its key, 0 to 2^64 - 1); the
        same seed always gives the same bits. None seeds from the clock as
        the program does; ``last_seed()`` then tells the seed used, so the
        run can be made again.
    weights: True or False; when True, return ``(x, w)``: w holds the
        cascade's final weights before the Gaussian modulation (x = w * g).
        x is the same either way.
    out: an array to fill in place and return instead of a new one: float64,
        1-D, C-contiguous, writable, of length N. With ``weights=True``, a
        pair of such arrays ``(x, w)``. Reusing one buffer for many
        realizations saves the cost of fresh memory.
    generator: "subtractive" (the default: the program's default stream) or
        "philox" (counter-based: no correlation between lags, any piece
        alone, every CPU, the same bits as ``cascade --generator philox``).
    start, stop: with philox, only values start .. stop - 1, the very bits
        they have in the whole series (``out`` then holds stop - start).
    threads: the threads to use (philox: 1 to 1024, default every CPU the
        process may use; subtractive: 1 or 2, default 2 for N >= 2^15).
    law: the law of each step's factor W, with the same lambda (each keeps
        Var log W = sigma^2 and E[W^2] = 1): "lognormal" (the default),
        "binomial", "microcanonical" (siblings' factors e^(c + sigma e) and
        e^(c - sigma e)) or "logpoisson[:beta]" (beta in (0, 1), 2/3 unless
        given), as the program's ``--law``; any law with philox, the
        lognormal alone with the subtractive stream.
    model: the cascade's model, as the program's ``--model``: "dyadic" (the
        default; ``models()`` lists them).
    dtype: numpy.float64 (the default) or numpy.float32: each value (and
        weight) rounded to the nearest float, as ``cascade --float32``
        writes them, in half the memory; ``out`` is then float32 too.

    Raises ValueError for a value the program refuses (with the program's
    message, e.g. "n0 must be a whole number of at least 1, got 0") or an
    unfit ``out``; TypeError for an argument of the wrong type (a bool or an
    array is not a number); MemoryError when the memory cannot be had. The
    GIL is released while the values are made, so other threads run, and
    Ctrl-C stops a long call promptly.

    Calls from several threads at once are safe, each with its own ``out``:
    one ``out`` buffer filled by two calls at once is a race, and holds a mix
    of both series with nothing to tell so. Give each thread its own buffer.
    """
    return _native.generate(lam, step_number, n0, seed, weights=weights, out=out, generator=generator, start=start,
                            stop=stop, threads=threads, dtype=dtype, law=law, model=model)


def generate_ensemble(
    lam: float,
    step_number: int,
    n0: int,
    seeds: Iterable[int],
    *,
    generator: str = "subtractive",
    law: str = "lognormal",
    model: str = "dyadic",
    threads: Optional[int] = None,
    out: Optional[AnySeries] = None,
    dtype: Any = np.float64,
) -> AnySeries:
    """An ensemble: a (K, N) array, K = len(seeds), whose row k holds
    exactly ``generate(lam, step_number, n0, seed=seeds[k], generator=generator,
    law=law, model=model, dtype=dtype)``, the rows made side by side on `threads` threads
    (the stream's default as in generate), whole rows to a thread.

    seeds: an iterable of seeds (a list, a range, a numpy array, a
        generator), each one that generate takes with this generator; none
        gives a (0, N) array. Where it has a length, the result's size (or
        the shape of `out`) is judged before any seed is read, and Ctrl-C
        stops the conversion of many seeds too.
    out: an array of shape (K, N) and of the dtype, C-contiguous and
        writable, to fill and return instead of a new one.
    dtype: numpy.float64 (the default) or numpy.float32, as generate's: a
        float32 row is the float64 row rounded to the nearest float.
    The rest as generate's. Raises what generate raises for the run, and for
    a seed the stream refuses a ValueError (TypeError for one that is not an
    int) that names its place, seeds[k]. The GIL is released while the
    values are made, and Ctrl-C stops a long call.
    """
    return _native.generate_ensemble(lam, step_number, n0, seeds, generator=generator, threads=threads, law=law,
                                     model=model, out=out, dtype=dtype)


class Summary(NamedTuple):
    """The program's summary of a series."""

    n: int
    """The number of values."""
    mean: float
    """The mean: the sum in index order from 0.0, divided by n."""
    sd: float
    """The population standard deviation (divisor n) about that mean."""
    line: str
    """``N = <n>, mean = <mean>, SD = <sd>`` exactly as the program writes it
    to standard error, without the newline."""


def summary(x: Series) -> Summary:
    """N, the mean and the SD of ``x`` (1-D, float64, at least one value),
    with the program's order of summation, so the same bits, and the
    program's summary line. ValueError for an empty ``x``."""
    return Summary(*_native.summary(x))


def last_seed() -> Optional[int]:
    """The seed (a Unix second, or philox's key) of the calling thread's
    last completed ``generate`` call (given, or taken from the clock when
    ``seed`` was None); None before the first. Each thread has its own, so
    threads never see each other's.

    ``generate(lam, step_number, n0, seed=cascade.last_seed())`` makes the
    same series again.
    """
    return _native.last_seed()


class Limits(TypedDict):
    """What a random stream accepts: the core's own table, which the program,
    the C++ library and ``generate`` all refuse by."""

    name: str
    """The stream's name, as ``generator=`` and ``--generator`` take it."""
    max_seed: int
    """Seeds are 0 .. max_seed."""
    max_value_count: int
    """The largest N = n0 * 2^step_number."""
    max_step_number: int
    """The largest step_number (with n0 = 1)."""
    max_threads: int
    """``threads=`` may be 1 .. max_threads."""
    makes_pieces: bool
    """Whether ``start=``/``stop=`` can make a piece of a series alone."""


def limits(generator: str) -> Limits:
    """What the stream named `generator` ("subtractive" or "philox") accepts,
    as a new dict: e.g. ``limits("philox")["max_value_count"]`` is 2^48.
    ValueError for another name, TypeError for a name that is not a str."""
    return cast(Limits, _native.limits(generator))


class LawRule(TypedDict):
    """One multiplier law of the core's table, as ``law=`` and ``--law`` read it."""

    parameter: bool
    """Whether it takes a parameter, written ``NAME:PARAM``."""
    default: Optional[float]
    """The parameter taken when none is given (None for a law that takes none)."""
    rule: str
    """What the parameter must be, in words ("" for a law that takes none)."""


def laws() -> dict[str, LawRule]:
    """Every multiplier law the philox stream draws, by name in the core's order
    (the default, "lognormal", first), as a new dict: e.g.
    ``laws()["logpoisson"]["default"]`` is 2/3. The same table the program's
    ``--law``, ``generate(law=...)`` and ``cascade.stats`` read."""
    return cast("dict[str, LawRule]", _native.laws())


class ModelRule(TypedDict):
    """One cascade model of the core's table, as ``model=`` and ``--model`` read it."""

    summary: str
    """What the model is, in a few words."""


def models() -> dict[str, ModelRule]:
    """Every cascade model, by name in the core's order (the default,
    "dyadic", first), as a new dict. The same table the program's
    ``--model``, ``generate(model=...)`` and ``cascade.stats`` read."""
    return cast("dict[str, ModelRule]", _native.models())


# Results files: save, open and verify (after _native, which they call).
from ._results import Results, open, save, verify  # noqa: E402,A001
