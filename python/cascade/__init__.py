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

# Only the package's own names are public: what the code needs at run time is imported
# under a private name, and what only the annotations name is imported for type checkers.
from typing import TYPE_CHECKING as _TYPE_CHECKING
from typing import NamedTuple as _NamedTuple
from typing import TypedDict as _TypedDict
from typing import cast as _cast
from typing import overload as _overload

from . import _compiled_module
from ._docstrings import shared as _shared

try:
    _native = _compiled_module.load()
except ImportError as _error:
    _compiled_module.exit_if_starting_a_command(_error)
    _compiled_module.say_in_one_line_if_uncaught(_error)
    raise

import numpy as _np  # noqa: E402  (loaded, or refused in one line, with the compiled module)

if _TYPE_CHECKING:
    from typing import Any, Iterable, Literal, Optional, Tuple, Type, Union

    import numpy as np
    from numpy.typing import NDArray

    Series = NDArray[np.float64]
    Series32 = NDArray[np.float32]
    AnySeries = Union[Series, Series32]

__all__ = ["generate", "generate_ensemble", "summary", "last_seed", "limits", "laws", "models", "Summary", "Limits",
           "LawRule", "ModelRule", "save", "open", "verify", "Results", "__version__"]

__version__: str = _native.__version__
"""The project's version, the one that ``cascade --version`` prints."""

@_overload
def generate(lam: Optional[float], step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[False] = False, out: Optional[Series] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> Series: ...


@_overload
def generate(lam: Optional[float], step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[True], out: Optional[Tuple[Series, Series]] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> Tuple[Series, Series]: ...


@_overload
def generate(lam: Optional[float], step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[False] = False, out: Optional[Series32] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             dtype: Type[np.float32], law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> Series32: ...


@_overload
def generate(lam: Optional[float], step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: Literal[True], out: Optional[Tuple[Series32, Series32]] = None, generator: str = "subtractive",
             start: Optional[int] = None, stop: Optional[int] = None, threads: Optional[int] = None,
             dtype: Type[np.float32], law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> Tuple[Series32, Series32]: ...


@_overload
def generate(lam: Optional[float], step_number: int, n0: int, seed: Optional[int] = None, *,
             weights: bool, out: Union[None, AnySeries, Tuple[AnySeries, AnySeries]] = None,
             generator: str = "subtractive", start: Optional[int] = None, stop: Optional[int] = None,
             threads: Optional[int] = None, dtype: Any = _np.float64, law: str = "lognormal", model: str = "dyadic",
             intermittency: Optional[float] = None) -> Union[AnySeries, Tuple[AnySeries, AnySeries]]: ...


def generate(
    lam: Optional[float],
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
    dtype: Any = _np.float64,
    law: str = "lognormal",
    model: str = "dyadic",
    intermittency: Optional[float] = None,
) -> Union[AnySeries, Tuple[AnySeries, AnySeries]]:
    """The series of N = n0 * 2^step_number values, as a numpy array.

    Exactly the values that ``cascade --binary`` writes for the same run, made
    by the same code. The GIL is released while the values are made, so other
    threads run, and Ctrl-C stops a long call promptly. Calls from several
    threads at once are safe, each with its own ``out``: one ``out`` filled by
    two calls at once holds a mix of both series with nothing to tell so.

    Parameters
    ----------
    lam : float or None
        The log-scale spread lambda (finite; only its square matters); None
        with `intermittency`.
    step_number : int
        The number of doubling steps, at least 1.
    n0 : int
        The number of initial cells, at least 1; N may be at most 2147483647
        (2^48 with ``generator="philox"``).
    seed : int or None, default None
        The Unix second T that seeds the run, 0 to 2147483647, as the program's
        ``--seed T`` (with philox: its key, 0 to 2^64 - 1); the same seed always
        gives the same bits. None seeds from the clock as the program does, and
        ``last_seed()`` then tells the seed used.
    weights : bool, default False
        True: return ``(x, w)``, w the cascade's final weights before the
        Gaussian modulation (x = w * g); x is the same either way.
    out : ndarray or (ndarray, ndarray) or None, default None
        An array to fill in place and return instead of a new one: of the
        dtype, 1-D, C-contiguous, writable, of length N (with
        ``weights=True`` a pair of them). Reusing one buffer saves fresh memory.
    generator : {"subtractive", "philox"}, default "subtractive"
        The stream: the program's default, whose bytes every earlier run
        keeps, or philox (counter-based: no correlation between lags, any
        piece alone, every CPU, the bits of ``cascade --generator philox``).
        Use philox for series to estimate from: the default stream's draws
        correlate log|x| at lags 30 to 59 (docs/reproducibility.md).
    start, stop : int or None, default None
        With philox, only values start .. stop - 1, the very bits they have in
        the whole series (``out`` then holds stop - start).
    threads : int or None, default None
        The threads to use (philox: 1 to 1024, default every CPU the process
        may use; subtractive: 1 or 2, default 2 for N >= 2^15).
    dtype : numpy.float64 or numpy.float32, default numpy.float64
        float32 rounds each value (and weight) to the nearest float, as
        ``cascade --float32`` writes them, in half the memory.
    law : str, default "lognormal"
        The law of each step's factor W, a name of ``laws()`` (with its
        parameter as "NAME:PARAM"), as the program's ``--law``; each keeps
        Var log W = sigma^2 and E[W^2] = 1. Any law with philox, the
        log-normal alone with the subtractive stream.
    model : str, default "dyadic"
        The cascade's model, a name of ``models()``, as the program's ``--model``.
    intermittency : float or None, default None
        The intermittency coefficient instead of `lam`:
        lam = cascade.stats.lambda_for(intermittency, step_number). Giving
        both is refused.

    Returns
    -------
    ndarray or (ndarray, ndarray)
        x of length N, float64 (float32 with ``dtype=numpy.float32``); with
        ``weights=True``, ``(x, w)``.

    Raises
    ------
    ValueError
        A value the program refuses, in its words (e.g. "n0 must be a whole
        number of at least 1, got 0"), an unfit ``out``, or both `lam` and
        `intermittency`.
    TypeError
        An argument of the wrong type (a bool or an array is not a number).
    MemoryError
        The memory cannot be had.

    Examples
    --------
    >>> import cascade
    >>> x, w = cascade.generate(0.4, 16, 1, seed=1700000000, weights=True, generator="philox")
    >>> x.size, bool((w > 0).all())
    (65536, True)
    """
    lam = _lambda_of(lam, intermittency, step_number)
    return _native.generate(lam, step_number, n0, seed, weights=weights, out=out, generator=generator, start=start,
                            stop=stop, threads=threads, dtype=dtype, law=law, model=model)


@_shared
def generate_ensemble(
    lam: Optional[float],
    step_number: int,
    n0: int,
    seeds: Iterable[int],
    *,
    out: Optional[AnySeries] = None,
    generator: str = "subtractive",
    threads: Optional[int] = None,
    dtype: Any = _np.float64,
    law: str = "lognormal",
    model: str = "dyadic",
    intermittency: Optional[float] = None,
) -> AnySeries:
    """An ensemble: a (K, N) array whose row k is the series of seeds[k].

    Row k holds exactly ``generate(lam, step_number, n0, seed=seeds[k],
    generator=generator, dtype=dtype, law=law, model=model)``, the rows made
    side by side on `threads` threads, whole rows to a thread. The GIL is
    released while the values are made, and Ctrl-C stops a long call.

    <<philox_ensemble>>

    Parameters
    ----------
    <<row_shape>>
    seeds : iterable of int
        One seed a row (a list, a range, a numpy array, a generator), each one
        that generate takes with this stream; none gives a (0, N) array. Where
        it has a length, the result's size (or the shape of `out`) is judged
        before any seed is read.
    out : ndarray or None, default None
        An array of shape (K, N) and of the dtype, C-contiguous and writable,
        to fill and return instead of a new one.
    generator : {"subtractive", "philox"}, default "subtractive"
        The stream, as generate's.
    threads : int or None, default None
        The threads to use (the stream's default as in generate).
    dtype : numpy.float64 or numpy.float32, default numpy.float64
        As generate's: a float32 row is the float64 row rounded to the nearest float.
    <<as_generate>>

    Returns
    -------
    ndarray
        (K, N), of the dtype.

    Raises
    ------
    ValueError
        What generate refuses for the run, and a seed the stream refuses (its
        place named, seeds[k]).
    TypeError
        An argument of the wrong type, a seed that is not an int.
    MemoryError
        The memory cannot be had.

    Examples
    --------
    >>> import cascade
    >>> cascade.generate_ensemble(0.4, 12, 1, range(1, 9), generator="philox").shape
    (8, 4096)
    """
    lam = _lambda_of(lam, intermittency, step_number)
    return _native.generate_ensemble(lam, step_number, n0, seeds, generator=generator, threads=threads, law=law,
                                     model=model, out=out, dtype=dtype)


def _lambda_of(lam: Optional[float], intermittency: Optional[float], step_number: int) -> Optional[float]:
    """lam, or the lambda of `intermittency` (both given: ValueError)."""
    if intermittency is None:
        return lam
    from .stats._intermittency import lam_from  # the statistics are loaded only for this

    return _cast("Optional[float]", lam_from(lam, intermittency, step_number))


class Summary(_NamedTuple):
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
    """N, the mean and the SD of ``x``, with the program's order of summation, so the same bits.

    Parameters
    ----------
    x : ndarray of float64
        A 1-D series of at least one value.

    Returns
    -------
    Summary
        ``n``, ``mean``, ``sd`` (the population standard deviation) and ``line``,
        the summary line the program writes to standard error.

    Raises
    ------
    ValueError
        An empty ``x``.
    TypeError
        An ``x`` that is not a 1-D float64 array.

    Examples
    --------
    >>> import cascade
    >>> cascade.summary(cascade.generate(0.0, 2, 1, seed=1)).n
    4
    """
    return Summary(*_native.summary(x))


def last_seed() -> Optional[int]:
    """The seed of the calling thread's last completed ``generate`` call.

    The seed given, or the one taken from the clock when ``seed`` was None (a
    Unix second, or philox's key); each thread has its own, so threads never see
    each other's. ``generate(lam, step_number, n0, seed=cascade.last_seed())``
    makes the same series again.

    Returns
    -------
    int or None
        The seed; None before the thread's first ``generate``.

    Examples
    --------
    >>> import cascade
    >>> _ = cascade.generate(0.4, 4, 1, seed=1234)
    >>> cascade.last_seed()
    1234
    """
    return _native.last_seed()


class Limits(_TypedDict):
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
    """What the stream named `generator` accepts: the core's own table, as a new dict.

    The program, the C++ library and ``generate`` all refuse by it.

    Parameters
    ----------
    generator : str
        A stream's name, "subtractive" or "philox".

    Returns
    -------
    Limits
        ``name``, ``max_seed``, ``max_value_count`` (the largest N),
        ``max_step_number``, ``max_threads``, ``makes_pieces`` (whether
        ``start=``/``stop=`` make a piece alone).

    Raises
    ------
    ValueError
        Another name.
    TypeError
        A name that is not a str.

    Examples
    --------
    >>> import cascade
    >>> cascade.limits("philox")["max_value_count"] == 2**48
    True
    """
    return _cast(Limits, _native.limits(generator))


class LawRule(_TypedDict):
    """One multiplier law of the core's table, as ``law=`` and ``--law`` read it."""

    parameter: bool
    """Whether it takes a parameter, written ``NAME:PARAM``."""
    default: Optional[float]
    """The parameter taken when none is given (None for a law that takes none)."""
    rule: str
    """What the parameter must be, in words ("" for a law that takes none)."""


def laws() -> dict[str, LawRule]:
    """Every multiplier law the philox stream draws, by name in the core's order, as a new dict.

    The default, "lognormal", first: the same table the program's ``--law``,
    ``generate(law=...)`` and ``cascade.stats`` read.

    Returns
    -------
    dict of str to LawRule
        Each law's ``parameter`` (whether it takes one, written ``NAME:PARAM``),
        ``default`` and ``rule`` (what the parameter must be, in words).

    Examples
    --------
    >>> import cascade
    >>> round(cascade.laws()["logpoisson"]["default"], 4)
    0.6667
    """
    return _cast("dict[str, LawRule]", _native.laws())


class ModelRule(_TypedDict):
    """One cascade model of the core's table, as ``model=`` and ``--model`` read it."""

    summary: str
    """What the model is, in a few words."""


def models() -> dict[str, ModelRule]:
    """Every cascade model, by name in the core's order, as a new dict.

    The default, "dyadic", first: the same table the program's ``--model``,
    ``generate(model=...)`` and ``cascade.stats`` read.

    Returns
    -------
    dict of str to ModelRule
        Each model's ``summary``, what it is in a few words.

    Examples
    --------
    >>> import cascade
    >>> next(iter(cascade.models()))
    'dyadic'
    """
    return _cast("dict[str, ModelRule]", _native.models())


# Results files: save, open and verify (after _native, which they call).
from ._results import Results, open, save, verify  # noqa: E402,A001

# The __future__ import binds its own name; its effect is the compiler's, and the name is none of ours.
del annotations
