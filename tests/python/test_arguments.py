"""Arguments are refused as the command line refuses them, with its words."""

import os
import subprocess

import numpy as np
import pytest

import cascade
from cascade import stats
from conftest import program_refusal
from law_words import law_choices

PROGRAM = os.environ["CASCADE_BINARY"]

NAN, INF = float("nan"), float("inf")

# (lam, step_number, n0, seed), the error, its message, and the command line
# that the program refuses with the same words (None: no such command line).
REFUSED_NUMBERS = [
    ((NAN, 3, 1, 1), "lambda must be a finite decimal number, got nan", None),
    ((-INF, 3, 1, 1), "lambda must be a finite decimal number, got -inf", None),
    ((10**400, 3, 1, 1), "lambda must be a finite decimal number, got inf", None),
    ((0.3, 0, 1, 1), "step_number must be a whole number of at least 1, got 0", ["0.3", "0", "1"]),
    ((0.3, -4, 1, 1), "step_number must be a whole number of at least 1, got -4", None),
    ((0.3, 3, 0, 1), "n0 must be a whole number of at least 1, got 0", ["0.3", "3", "0"]),
    ((0.3, 3, -2**80, 1), "n0 must be a whole number of at least 1, got -1208925819614629174706176", None),
    ((0.3, 31, 1, 1), "n0 * 2^step_number must be at most 2147483647, got 1 * 2^31", ["0.3", "31", "1"]),
    ((0.3, 1, 2**30, 1), "n0 * 2^step_number must be at most 2147483647, got 1073741824 * 2^1",
     ["0.3", "1", "1073741824"]),
    ((0.3, 2**64, 1, 1), "n0 * 2^step_number must be at most 2147483647, got 1 * 2^18446744073709551616", None),
    ((0.3, 3, 1, -1), "seed must be a whole number from 0 to 2147483647, got -1", None),
    ((0.3, 3, 1, 2**31), "seed must be a whole number from 0 to 2147483647, got 2147483648",
     ["--seed", "2147483648", "0.3", "3", "1"]),
]


@pytest.mark.parametrize("numbers, message, words", REFUSED_NUMBERS)
def test_refused_numbers(numbers, message, words):
    lam, step_number, n0, seed = numbers
    with pytest.raises(ValueError) as refusal:
        cascade.generate(lam, step_number, n0, seed)
    assert str(refusal.value) == message
    if words is not None:
        # The program quotes the text it was given and names its option --seed.
        expected = "cascade: " + ("--" + message if message.startswith("seed") else message)
        assert program_refusal(words).replace("'", "") == expected


def buffer(n=8, dtype=np.float64):
    return np.zeros(n, dtype=dtype)


SHARED = np.zeros(16)


def read_only(array):
    array.flags.writeable = False
    return array


# Calls with a wrong type or an unfit buffer: (call, error, message).
REFUSED_CALLS = [
    (lambda: cascade.generate("0.3", 3, 1), TypeError, "lambda must be a float, got str"),
    (lambda: cascade.generate(True, 3, 1), TypeError, "lambda must be a float, got bool"),
    (lambda: cascade.generate(0.3, 3.0, 1), TypeError, "step_number must be an int, got float"),
    (lambda: cascade.generate(0.3, 3, "1"), TypeError, "n0 must be an int, got str"),
    (lambda: cascade.generate(0.3, True, 1), TypeError, "step_number must be an int, got bool"),
    (lambda: cascade.generate(0.3, 3, 1, 1.5), TypeError, "seed must be an int, got float"),
    # A truth value or an array is no number, though numpy converts them to one.
    (lambda: cascade.generate(np.bool_(True), 3, 1), TypeError, "lambda must be a float, got numpy.bool_"),
    (lambda: cascade.generate(np.array([0.3]), 3, 1), TypeError, "lambda must be a float, got numpy.ndarray"),
    (lambda: cascade.generate(np.array(0.3), 3, 1), TypeError, "lambda must be a float, got numpy.ndarray"),
    (lambda: cascade.generate(0.3, np.bool_(True), 1), TypeError, "step_number must be an int, got numpy.bool_"),
    (lambda: cascade.generate(0.3, np.array([3]), 1), TypeError, "step_number must be an int, got numpy.ndarray"),
    (lambda: cascade.generate(0.3, 3, np.bool_(True)), TypeError, "n0 must be an int, got numpy.bool_"),
    (lambda: cascade.generate(0.3, 3, False), TypeError, "n0 must be an int, got bool"),
    (lambda: cascade.generate(0.3, 3, 1, np.bool_(False)), TypeError, "seed must be an int, got numpy.bool_"),
    (lambda: cascade.generate(0.3, 3, 1, weights=1), TypeError, "weights must be True or False, got int"),
    (lambda: cascade.generate(0.3, 3, 1, weights=None), TypeError, "weights must be True or False, got NoneType"),
    (lambda: cascade.generate(0.3, 3, 1, weights="yes"), TypeError, "weights must be True or False, got str"),
    (lambda: cascade.generate(0.3, 3, 1, weights=np.bool_(True)), TypeError,
     "weights must be True or False, got numpy.bool_"),
    (lambda: cascade.generate(0.3, 3, 1, out=[0.0] * 8), TypeError,
     "out must be a numpy.ndarray of float64, got list"),
    (lambda: cascade.generate(0.3, 3, 1, out=[0.0] * 8, dtype=np.float32), TypeError,
     "out must be a numpy.ndarray of float32, got list"),
    (lambda: cascade.generate(0.3, 3, 1, out=buffer(dtype=np.float32)), TypeError,
     "out must have dtype float64, got float32"),
    (lambda: cascade.generate(0.3, 3, 1, out=buffer(dtype=">f8")), TypeError,
     "out must have dtype float64, got >f8"),
    (lambda: cascade.generate(0.3, 3, 1, dtype=np.float16), TypeError,
     "dtype must be numpy.float64 or numpy.float32, got float16"),
    (lambda: cascade.generate_ensemble(0.3, 3, 1, [1], dtype="int32"), TypeError,
     "dtype must be numpy.float64 or numpy.float32, got int32"),
    (lambda: cascade.generate_ensemble(0.3, 3, 1, [1], dtype=np.float32, out=[[0.0] * 8]), TypeError,
     "out must be a numpy.ndarray of float32, got list"),
    (lambda: cascade.generate(0.3, 3, 1, out=np.zeros((2, 4))), ValueError, "out must be 1-D, got 2 dimensions"),
    (lambda: cascade.generate(0.3, 3, 1, out=buffer(16)[::2]), ValueError, "out must be C-contiguous"),
    (lambda: cascade.generate(0.3, 3, 1, out=read_only(buffer())), ValueError, "out must be writable"),
    (lambda: cascade.generate(0.3, 3, 1, out=buffer(7)), ValueError,
     "out must hold N = n0 * 2^step_number = 8 values, got 7"),
    (lambda: cascade.generate(0.3, 3, 1, weights=True, out=buffer()), TypeError,
     "out must be a pair of arrays (x, w) when weights=True, got numpy.ndarray"),
    (lambda: cascade.generate(0.3, 3, 1, weights=True, out=(buffer(), buffer(9))), ValueError,
     "out[1] must hold N = n0 * 2^step_number = 8 values, got 9"),
    (lambda: cascade.generate(0.3, 3, 1, weights=True, out=(SHARED[:8], SHARED[4:12])), ValueError,
     "out[0] and out[1] must not share memory"),
    (lambda: cascade.summary([1.0, 2.0]), TypeError, "x must be a numpy.ndarray of float64, got list"),
    (lambda: cascade.summary(np.arange(4)), TypeError, "x must have dtype float64, got int64"),
    (lambda: cascade.summary(np.zeros((2, 2))), ValueError, "x must be 1-D, got 2 dimensions"),
    (lambda: cascade.summary(np.zeros(0)), ValueError, "x must hold at least 1 value, got 0"),
    (lambda: cascade.summary(np.zeros(4)[4:]), ValueError, "x must hold at least 1 value, got 0"),
]


@pytest.mark.parametrize("call, error, message", REFUSED_CALLS)
def test_refused_calls(call, error, message):
    with pytest.raises(error) as refusal:
        call()
    assert str(refusal.value) == message


def test_numpy_scalars_are_numbers():
    expected = cascade.generate(0.3, 4, 3, seed=2)
    got = cascade.generate(np.float64(0.3), np.int64(4), np.int32(3), seed=np.uint16(2))
    assert np.array_equal(got.view(np.uint64), expected.view(np.uint64))
    assert np.array_equal(cascade.generate(np.float32(0.5), 4, 3, seed=2),
                          cascade.generate(float(np.float32(0.5)), 4, 3, seed=2))



# The philox stream's piece, thread and seed arguments, and the stream's name:
# (arguments of generate(0.3, 3, 1, ...), exception, message). N = 8.
REFUSED_STREAM_ARGUMENTS = [
    (dict(seed=1, generator="philox", start=2**64, stop=2**64 + 1), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 18446744073709551616 and 18446744073709551617"),
    (dict(seed=1, generator="philox", start=2**64), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 18446744073709551616 and 8"),
    (dict(seed=1, generator="philox", start=0, stop=9), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 0 and 9"),
    (dict(seed=1, generator="philox", stop=2**70), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 0 and 1180591620717411303424"),
    (dict(seed=1, generator="philox", start=5, stop=2), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 5 and 2"),
    (dict(seed=1, generator="philox", start=5, stop=5), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got 5 and 5"),
    (dict(seed=1, generator="philox", start=-1, stop=2), ValueError,
     "start and stop must satisfy 0 <= start < stop <= N = 8, got -1 and 2"),
    (dict(seed=1, generator="philox", start=True, stop=2), TypeError, "start must be an int, got bool"),
    (dict(seed=1, start=0, stop=2), ValueError,
     "start and stop need the philox stream: the subtractive stream is one chain, so no piece of it can be made "
     "without every value before it"),
    (dict(seed=1, stop=2), ValueError,
     "start and stop need the philox stream: the subtractive stream is one chain, so no piece of it can be made "
     "without every value before it"),
    (dict(seed=1, generator="philox", threads=0), ValueError, "threads must be a whole number from 1 to 1024, got 0"),
    (dict(seed=1, generator="philox", threads=1025), ValueError,
     "threads must be a whole number from 1 to 1024, got 1025"),
    (dict(seed=1, generator="philox", threads=2**64), ValueError,
     "threads must be a whole number from 1 to 1024, got 18446744073709551616"),
    (dict(seed=1, threads=3), ValueError,
     "threads must be 1 or 2 with the subtractive stream (its draws are one chain; use the philox stream for more), "
     "got 3"),
    (dict(seed=1, generator="philox", threads=True), TypeError, "threads must be an int, got bool"),
    (dict(seed=1, threads=1.0), TypeError, "threads must be an int, got float"),
    (dict(seed=-1, generator="philox"), ValueError,
     "seed must be a whole number from 0 to 18446744073709551615 with the philox stream, got -1"),
    (dict(seed=2**64, generator="philox"), ValueError,
     "seed must be a whole number from 0 to 18446744073709551615 with the philox stream, got 18446744073709551616"),
    (dict(seed=2**31), ValueError, "seed must be a whole number from 0 to 2147483647, got 2147483648"),
    (dict(seed=1, generator="nope"), ValueError, "generator must be 'subtractive' or 'philox', got 'nope'"),
    (dict(seed=1, generator=None), TypeError, "generator must be a str, got NoneType"),
    (dict(seed=1, law="binomial"), ValueError,
     "law binomial needs the philox stream: the subtractive stream's draws are its long-standing contract, so its "
     "factors are lognormal alone"),
    (dict(seed=1, generator="philox", law="gamma"), ValueError,
     f"law must be {law_choices()}, got 'gamma'"),
    (dict(seed=1, generator="philox", law="logpoisson:0"), ValueError,
     "law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got '0'"),
    (dict(seed=1, generator="philox", law=0.5), TypeError, "law must be a str, got float"),
]


@pytest.mark.parametrize("arguments, error, message", REFUSED_STREAM_ARGUMENTS)
def test_refused_stream_arguments(arguments, error, message):
    buffer = np.full(8, 2.5)
    with pytest.raises(error) as refusal:
        cascade.generate(0.3, 3, 1, out=buffer, **arguments)
    assert str(refusal.value) == message
    assert np.all(buffer == 2.5)


@pytest.mark.parametrize("generator", ["subtractive", "philox"])
def test_limits_are_where_generate_refuses(generator):
    limits = cascade.limits(generator)
    assert limits["name"] == generator
    assert limits["max_value_count"].bit_length() - 1 == limits["max_step_number"]
    cascade.generate(0.3, 1, 1, limits["max_seed"], generator=generator)
    with pytest.raises(ValueError, match=f"{limits['max_seed']}.*got {limits['max_seed'] + 1}$"):
        cascade.generate(0.3, 1, 1, limits["max_seed"] + 1, generator=generator)
    cascade.generate(0.3, 1, 1, 1, generator=generator, threads=limits["max_threads"])
    with pytest.raises(ValueError, match=f"got {limits['max_threads'] + 1}$"):
        cascade.generate(0.3, 1, 1, 1, generator=generator, threads=limits["max_threads"] + 1)
    # The largest N is checked without making it: n0 as large as it may be, then one more.
    steps = max(1, limits["max_value_count"].bit_length() - 31)
    n0 = limits["max_value_count"] >> steps
    cascade._native.check_run(0.3, steps, n0, 1, generator)
    cascade._native.check_run(0.3, limits["max_step_number"], 1, 1, generator)
    for too_many in [(steps, n0 + 1), (limits["max_step_number"] + 1, 1)]:
        with pytest.raises(ValueError, match="n0 \\* 2\\^step_number must be at most"):
            cascade._native.check_run(0.3, *too_many, 1, generator)
    if limits["makes_pieces"]:
        assert cascade.generate(0.3, 2, 1, 1, generator=generator, start=1, stop=3).size == 2
    else:
        with pytest.raises(ValueError, match="start and stop need"):
            cascade.generate(0.3, 2, 1, 1, generator=generator, start=1, stop=3)


@pytest.mark.parametrize("generator", [3, "Philox", "", "\ud800"])
def test_limits_of_no_stream_are_refused_as_generate_refuses_them(generator):
    with pytest.raises((TypeError, ValueError)) as refused:
        cascade.generate(0.3, 1, 1, 1, generator=generator)
    with pytest.raises((TypeError, ValueError)) as asked:
        cascade.limits(generator)
    assert (type(asked.value), str(asked.value)) == (type(refused.value), str(refused.value))


@pytest.mark.parametrize("law, lam", [("binomial", 1000.0), ("microcanonical", 712.0), ("logpoisson", 1000.0)])
def test_a_spread_the_law_cannot_draw_is_refused_as_the_program_refuses_it(law, lam):
    # Beyond it the law's constant leaves the doubles and every value would be 0.
    values, weights = np.full(16, 2.5), np.full(16, 2.5)
    with pytest.raises(ValueError) as refusal:
        cascade.generate(lam, 4, 1, 1, generator="philox", law=law, weights=True, out=(values, weights))
    assert program_refusal(["--generator", "philox", "--law", law, "--seed", "1", str(lam), "4", "1"]) == \
        f"cascade: {refusal.value}"
    assert np.all(values == 2.5) and np.all(weights == 2.5)


LAW_WORDS = f"law must be {law_choices()}, got "
GENERATOR_WORDS = "generator must be 'subtractive' or 'philox', got "

# A str with no UTF-8 (a lone surrogate, as a file name's undecodable bytes
# become in Python) wherever a law or a generator is read: (call, message),
# each a ValueError that shows the word as Python writes it.
LONE_SURROGATES = [
    (lambda: cascade.generate(0.3, 3, 1, 1, generator="\ud800"), GENERATOR_WORDS + "'\\ud800'"),
    (lambda: cascade.generate(0.3, 3, 1, 1, generator="philox", law="\ud800"), LAW_WORDS + "'\\ud800'"),
    (lambda: cascade.generate(0.3, 3, 1, 1, generator="philox", law="logpoisson:0.\udcff"),
     "law logpoisson's parameter must be a decimal number beta with 0 < beta < 1, got '0.\\udcff'"),
    (lambda: cascade.generate_ensemble(0.3, 3, 1, [1], generator="phil\ud800ox"), GENERATOR_WORDS + "'phil\\ud800ox'"),
    (lambda: cascade.generate_ensemble(0.3, 3, 1, [1], generator="philox", law="\ud800"), LAW_WORDS + "'\\ud800'"),
    (lambda: cascade.limits("\ud800"), GENERATOR_WORDS + "'\\ud800'"),
    (lambda: stats.parse_law("\ud800"), LAW_WORDS + "'\\ud800'"),
    (lambda: stats.theory(0.3, 4, 1, law="\ud800"), LAW_WORDS + "'\\ud800'"),
    (lambda: stats.lag_covariance(np.ones(128), [1], 4, 8, law="\ud800"), LAW_WORDS + "'\\ud800'"),
    (lambda: stats.check(np.ones(128), 0.3, 4, 8, law="\ud800"), LAW_WORDS + "'\\ud800'"),
]


@pytest.mark.parametrize("call, message", LONE_SURROGATES)
def test_a_lone_surrogate_is_a_word_naming_nothing(call, message):
    with pytest.raises(ValueError) as refusal:
        call()
    assert str(refusal.value) == message


def test_the_laws_table_is_what_generate_takes():
    table = cascade.laws()
    assert next(iter(table)) == "lognormal"  # the default law first
    for name, row in table.items():
        bare = cascade.generate(0.3, 3, 1, 1, generator="philox", law=name)
        if row["parameter"]:
            # The bare name is the law at its default parameter, written out.
            assert np.array_equal(bare, cascade.generate(0.3, 3, 1, 1, generator="philox",
                                                         law=f"{name}:{row['default']!r}"))
            assert row["rule"] and row["default"] is not None
        else:
            assert row["default"] is None and row["rule"] == ""
            with pytest.raises(ValueError):
                cascade.generate(0.3, 3, 1, 1, generator="philox", law=f"{name}:0.5")
    table["lognormal"]["parameter"] = True  # a new dict each call
    assert cascade.laws()["lognormal"]["parameter"] is False



def test_the_models_table_is_what_every_face_takes(tmp_path):
    """Each model of the core's table is taken by generate, generate_ensemble, cascade.dask and the
    program alike, as the same bytes; a name outside it is refused in the core's words."""
    table = cascade.models()
    assert next(iter(table)) == "dyadic"  # the default model first
    names = " or ".join([", ".join(list(table)[:-1]), list(table)[-1]] if len(table) > 1 else list(table))
    for name, row in table.items():
        assert row["summary"]
        x = cascade.generate(0.4, 10, 3, 7, generator="philox", model=name)
        assert np.array_equal(cascade.generate_ensemble(0.4, 10, 3, [7], generator="philox", model=name)[0], x)
        program = subprocess.run([PROGRAM, "--generator", "philox", "--seed", "7", "--model", name, "--binary",
                                  "0.4", "10", "3"], capture_output=True, check=True).stdout
        assert np.array_equal(np.frombuffer(program, "<f8"), x)
    assert np.array_equal(cascade.generate(0.4, 10, 3, 7, model="dyadic"), cascade.generate(0.4, 10, 3, 7))
    for call in (lambda: cascade.generate(0.4, 10, 3, 7, model="cone"),
                 lambda: cascade.generate_ensemble(0.4, 10, 3, [7], model="cone")):
        with pytest.raises(ValueError, match=f"^model must be {names}, got 'cone'$"):
            call()
    with pytest.raises(TypeError):
        cascade.generate(0.4, 10, 3, 7, model=1)
    table["dyadic"]["summary"] = ""  # a new dict each call
    assert cascade.models()["dyadic"]["summary"]
