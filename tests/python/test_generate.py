"""cascade.generate gives the program's doubles, bit for bit, and the weights behind them."""

import threading
import time

import numpy as np
import pytest

import cascade
from conftest import DATA, known_runs, program_binary, program_float32, same_bits, value_lines

KNOWN_RUNS = known_runs()

# Shapes around the edges of the work: the smallest run that shares it
# between two threads (2^15), several chunks of 16384 pairs in the last
# generation (2^17), odd n0 whose generations end inside a chunk.
EDGE_SHAPES = [
    (1, 0.3, 15, 1),
    (2, 0.3, 14, 2),
    (3, 0.4, 17, 1),
    (4, 0.5, 12, 9),
    (5, 0.2, 10, 33),
    (6, 0.7, 5, 1023),
    (7, 0.3, 1, 40001),
]


@pytest.mark.parametrize("name, seed, lam, step_number, n0", KNOWN_RUNS)
def test_known_runs_print_as_the_known_answers(name, seed, lam, step_number, n0):
    x = cascade.generate(float(lam), step_number, n0, seed=seed)
    assert x.dtype == np.float64 and x.ndim == 1 and x.flags.c_contiguous
    assert value_lines(x) == (DATA / f"{name}.out").read_text()


@pytest.mark.parametrize("seed, lam, step_number, n0", [run[1:] for run in KNOWN_RUNS] + EDGE_SHAPES)
def test_values_are_the_programs_binary_output(seed, lam, step_number, n0):
    expected, _ = program_binary(seed, lam, step_number, n0)
    assert same_bits(cascade.generate(float(lam), step_number, n0, seed=seed), expected)


@pytest.mark.parametrize("seed, lam, step_number, n0", EDGE_SHAPES)
def test_asking_for_the_weights_leaves_the_values_alone(seed, lam, step_number, n0):
    alone = cascade.generate(lam, step_number, n0, seed=seed)
    x, w = cascade.generate(lam, step_number, n0, seed=seed, weights=True)
    assert same_bits(x, alone)
    assert w.shape == x.shape and w.dtype == np.float64
    assert np.all(w > 0) and not np.shares_memory(x, w)


@pytest.mark.parametrize("name, seed, lam, step_number, n0", KNOWN_RUNS)
def test_weights_of_the_known_runs_are_the_known_answers(name, seed, lam, step_number, n0):
    _, w = cascade.generate(float(lam), step_number, n0, seed=seed, weights=True)
    assert value_lines(w) == (DATA / f"{name}.weights").read_text()


@pytest.mark.parametrize("step_number, n0", [(4, 2), (16, 3)])
def test_lambda_zero_makes_every_weight_exactly_one(step_number, n0):
    x, w = cascade.generate(0.0, step_number, n0, seed=17, weights=True)
    assert np.all(w == 1.0)
    expected, _ = program_binary(17, 0, step_number, n0)
    assert same_bits(x, expected)


def test_out_is_filled_in_place_and_returned_for_each_seed():
    buffer = np.full(3 << 12, np.nan)
    for seed in (11, 12):
        result = cascade.generate(0.4, 12, 3, seed, out=buffer)
        assert result is buffer
        assert same_bits(buffer, program_binary(seed, 0.4, 12, 3)[0])


def test_out_pair_receives_values_and_weights():
    x_buffer, w_buffer = np.full(1 << 15, np.nan), np.full(1 << 15, np.nan)
    x, w = cascade.generate(0.3, 15, 1, 21, weights=True, out=(x_buffer, w_buffer))
    assert x is x_buffer and w is w_buffer
    fresh_x, fresh_w = cascade.generate(0.3, 15, 1, 21, weights=True)
    assert same_bits(x, fresh_x) and same_bits(w, fresh_w)


def test_a_clock_seeded_call_reports_its_second_and_can_be_made_again():
    before = int(time.time())
    x = cascade.generate(0.3, 10, 2)
    after = int(time.time())
    seed = cascade.last_seed()
    assert before <= seed <= after
    assert same_bits(cascade.generate(0.3, 10, 2, seed=seed), x)
    assert same_bits(x, program_binary(seed, 0.3, 10, 2)[0])


def test_each_thread_has_its_own_last_seed():
    cascade.generate(0.3, 3, 1, seed=5)
    seen = []

    def other():
        seen.append(cascade.last_seed())
        cascade.generate(0.3, 3, 1, seed=7)
        seen.append(cascade.last_seed())

    thread = threading.Thread(target=other)
    thread.start()
    thread.join()
    assert seen == [None, 7]
    assert cascade.last_seed() == 5


def test_a_refused_call_changes_neither_out_nor_last_seed():
    cascade.generate(0.3, 3, 1, seed=9)
    buffer = np.full(8, 2.5)
    with pytest.raises(ValueError):
        cascade.generate(float("nan"), 3, 1, seed=10, out=buffer)
    assert np.all(buffer == 2.5) and cascade.last_seed() == 9


# float32: each value and weight the double rounded to the nearest float.
# (generator, seed, lam, step_number, n0): two threads' work (2^16), odd n0,
# and lambda 10, whose values and weights reach float32's subnormals and
# round to 0 there.
FLOAT32_RUNS = [(generator, seed, *shape)
                for generator, seed in [("subtractive", 9), ("philox", 2**40 + 9)]
                for shape in [(0.4, 16, 1), (0.3, 3, 5), (10.0, 8, 3)]]


def as_float32(*arrays):
    return tuple(a.astype(np.float32) for a in arrays)


@pytest.mark.parametrize("generator, seed, lam, step_number, n0", FLOAT32_RUNS)
def test_float32_is_the_doubles_rounded_to_nearest(generator, seed, lam, step_number, n0):
    x64, w64 = cascade.generate(lam, step_number, n0, seed, generator=generator, weights=True)
    x32 = cascade.generate(lam, step_number, n0, seed, generator=generator, dtype=np.float32)
    assert same_bits(x32, x64.astype(np.float32))
    x32, w32 = cascade.generate(lam, step_number, n0, seed, generator=generator, weights=True, dtype=np.float32)
    assert same_bits(x32, x64.astype(np.float32)) and same_bits(w32, w64.astype(np.float32))
    assert x32.flags.c_contiguous and not np.shares_memory(x32, w32)
    # Filled in place: a float32 buffer, and a pair of them with the weights.
    x_buffer = np.full(x64.size, np.nan, dtype=np.float32)
    assert cascade.generate(lam, step_number, n0, seed, generator=generator, dtype=np.float32,
                            out=x_buffer) is x_buffer
    assert same_bits(x_buffer, x32)
    buffers = (np.full(x64.size, np.nan, dtype=np.float32), np.full(x64.size, np.nan, dtype=np.float32))
    made = cascade.generate(lam, step_number, n0, seed, generator=generator, weights=True, dtype=np.float32,
                            out=buffers)
    assert made[0] is buffers[0] and made[1] is buffers[1]
    assert same_bits(buffers[0], x32) and same_bits(buffers[1], w32)


@pytest.mark.parametrize("generator, seed, lam, step_number, n0", FLOAT32_RUNS)
def test_float32_files_of_the_program_are_the_modules_float32(tmp_path, generator, seed, lam, step_number, n0):
    values, weights = program_float32(tmp_path, seed, lam, step_number, n0, "--generator", generator)
    x32, w32 = cascade.generate(lam, step_number, n0, seed, generator=generator, weights=True, dtype=np.float32)
    assert same_bits(values, x32) and same_bits(weights, w32)


# (start, stop) of pieces of the philox series of 0.4 16 1: the first value,
# a piece across blocks, the last value, the whole.
PIECES = [(0, 1), (12345, 54321), (65535, 65536), (0, 65536)]


@pytest.mark.parametrize("start, stop", PIECES)
def test_a_float32_piece_is_the_wholes_float32_slice(tmp_path, start, stop):
    seed = 2**63 + 1
    x, w = cascade.generate(0.4, 16, 1, seed, generator="philox", weights=True, dtype=np.float32)
    alone = cascade.generate(0.4, 16, 1, seed, generator="philox", start=start, stop=stop, dtype=np.float32)
    assert same_bits(alone, x[start:stop])
    buffers = (np.zeros(stop - start, dtype=np.float32), np.zeros(stop - start, dtype=np.float32))
    piece_x, piece_w = cascade.generate(0.4, 16, 1, seed, generator="philox", start=start, stop=stop,
                                        weights=True, dtype=np.float32, out=buffers)
    assert piece_x is buffers[0] and piece_w is buffers[1]
    assert same_bits(piece_x, x[start:stop]) and same_bits(piece_w, w[start:stop])
    values, weights = program_float32(tmp_path, seed, 0.4, 16, 1, "--generator", "philox",
                                      "--range", f"{start}:{stop}")
    assert same_bits(values, x[start:stop]) and same_bits(weights, w[start:stop])


def f32(n=8):
    return np.full(n, 2.5, dtype=np.float32)


def f64(n=8):
    return np.full(n, 2.5)


# An out= unfit for dtype and weights: (arguments, message); nothing is written.
MISMATCHED_OUT = [
    (dict(dtype=np.float32, out=f64()), "out must have dtype float32, got float64"),
    (dict(out=f32()), "out must have dtype float64, got float32"),
    (dict(dtype=np.float64, out=f32()), "out must have dtype float64, got float32"),
    (dict(dtype=np.float32, weights=True, out=(f32(), f64())), "out[1] must have dtype float32, got float64"),
    (dict(dtype=np.float32, weights=True, out=(f64(), f32())), "out[0] must have dtype float32, got float64"),
    (dict(weights=True, out=(f64(), f32())), "out[1] must have dtype float64, got float32"),
    (dict(dtype=np.float32, out=(f32(), f32())),
     "out must be one numpy.ndarray of float32 when weights=False, got a tuple (a pair (x, w) needs weights=True)"),
    (dict(out=(f64(), f64())),
     "out must be one numpy.ndarray of float64 when weights=False, got a tuple (a pair (x, w) needs weights=True)"),
    (dict(dtype=np.float32, generator="philox", start=2, stop=6, out=f64(4)),
     "out must have dtype float32, got float64"),
]


@pytest.mark.parametrize("arguments, message", MISMATCHED_OUT)
def test_an_out_of_the_other_float_type_is_refused(arguments, message):
    with pytest.raises(TypeError) as refusal:
        cascade.generate(0.3, 3, 1, 1, **arguments)
    assert str(refusal.value) == message
    out = arguments["out"]
    for buffer in out if isinstance(out, tuple) else (out,):
        assert np.all(buffer == 2.5)


LAWS = [*cascade.laws(), "logpoisson:0.3"]


@pytest.mark.parametrize("law", LAWS)
def test_every_law_is_the_programs_philox_run(tmp_path, law):
    """generate(law=...) gives the program's --law values and weights, bit for bit."""
    x, w = cascade.generate(1.1, 12, 3, 5, generator="philox", law=law, weights=True)
    values, weights = program_float32(tmp_path, 5, 1.1, 12, 3, "--generator", "philox", "--law", law)
    assert same_bits(np.float32(x), values) and same_bits(np.float32(w), weights)
    # The same law's piece is the whole's.
    assert same_bits(cascade.generate(1.1, 12, 3, 5, generator="philox", law=law, start=1000, stop=5000), x[1000:5000])


def test_the_laws_differ_from_one_another_and_keep_the_mean_square():
    """Many independent cells of two steps each: every law's mean square of
    the weights is 1 (E[W^2] = 1 a step) to a few of its standard errors,
    and no two laws give the same series."""
    series = {law: cascade.generate(0.8, 2, 1 << 16, 9, generator="philox", law=law, weights=True) for law in LAWS}
    for law, (x, w) in series.items():
        squares = (w * w).reshape(-1, 4).mean(axis=1)    # one number a cell: the cells are independent
        error = squares.std() / np.sqrt(squares.size)
        # (the microcanonical law conserves each cell's energy: its spread is rounding alone)
        assert abs(squares.mean() - 1.0) < 5 * error + 1e-12, (law, squares.mean(), error)
        assert all(not np.array_equal(x, other[0]) for name, other in series.items() if name != law), law


ENSEMBLES = [  # (generator, law, threads, seeds, step_number, n0): rows fewer and more than threads, one
    ("subtractive", "lognormal", None, [1700000000, 5, 5, 0], 15, 1),  # 2^15: a row alone would take two threads
    ("subtractive", "lognormal", 1, [3, 4, 5], 10, 3),
    ("philox", "lognormal", 2, [2**64 - 1, 0, 12345], 12, 5),
    ("philox", "microcanonical", 7, [9, 10], 16, 2),
    ("philox", "logpoisson:0.5", None, [11], 8, 1),
]


@pytest.mark.parametrize("generator, law, threads, seeds, step_number, n0", ENSEMBLES)
def test_an_ensemble_holds_the_rows_of_single_calls(generator, law, threads, seeds, step_number, n0):
    ensemble = cascade.generate_ensemble(0.6, step_number, n0, seeds, generator=generator, law=law, threads=threads)
    assert ensemble.shape == (len(seeds), n0 << step_number) and ensemble.dtype == np.float64
    for row, seed in zip(ensemble, seeds):
        assert same_bits(row, cascade.generate(0.6, step_number, n0, seed, generator=generator, law=law))
    out = np.full_like(ensemble, np.nan)
    assert cascade.generate_ensemble(0.6, step_number, n0, np.array(seeds, dtype=np.uint64), generator=generator,
                                     law=law, threads=threads, out=out) is out
    assert same_bits(out, ensemble)
    # Any iterable of seeds: with a length that is not a sequence's, or none at all.
    for seeds_given in (Seeds(len(seeds), seeds), (seed for seed in seeds)):
        assert same_bits(cascade.generate_ensemble(0.6, step_number, n0, seeds_given, generator=generator, law=law,
                                                   threads=threads), ensemble)
    # float32: each row the float64 row rounded to the nearest float, made or filled.
    rounded = cascade.generate_ensemble(0.6, step_number, n0, seeds, generator=generator, law=law, threads=threads,
                                        dtype=np.float32)
    assert rounded.dtype == np.float32 and same_bits(rounded, ensemble.astype(np.float32))
    out32 = np.full(ensemble.shape, np.nan, dtype=np.float32)
    assert cascade.generate_ensemble(0.6, step_number, n0, seeds, generator=generator, law=law, threads=threads,
                                     dtype=np.float32, out=out32) is out32
    assert same_bits(out32, rounded)


class Seeds:
    """An iterable of seeds with a length of its own, which need not be that of what it gives: its
    seeds, or an exception its __iter__ raises."""

    def __init__(self, length, given):
        self.length, self.given = length, given

    def __len__(self):
        return self.length

    def __iter__(self):
        if isinstance(self.given, Exception):
            raise self.given
        return iter(self.given)


def test_an_ensemble_refuses_what_generate_refuses_and_names_the_seed():
    good = np.zeros((2, 16))
    read_only = np.zeros((2, 16))
    read_only.flags.writeable = False
    cases = [  # (arguments, keywords, error, message)
        ((0.5, 4, 1, [1, -1]), {}, ValueError, "seeds[1]: seed must be a whole number from 0 to 2147483647, got -1"),
        ((0.5, 4, 1, [0, 1, 2**31]), {}, ValueError, "seeds[2]: seed must be a whole number from 0 to 2147483647"),
        ((0.5, 4, 1, [1, 2.0]), {}, TypeError, "seeds[1]: seed must be an int, got float"),
        ((0.5, 4, 1, [True]), {}, TypeError, "seeds[0]: seed must be an int, got bool"),
        ((0.5, 4, 1, "12"), {}, TypeError, "seeds must be a sequence of ints, got str"),
        ((0.5, 4, 1, 12), {}, TypeError, "seeds must be a sequence of ints, got int"),
        ((0.5, 4, 1, np.array(5)), {}, TypeError, "seeds must be a sequence of ints, got a 0-d numpy.ndarray, array(5)"),
        ((0.5, 4, 1, Seeds(3, LookupError("the caller's own"))), {}, LookupError, "the caller's own"),
        ((0.5, 4, 1, Seeds(3, [1, 2])), {}, ValueError, "seeds must give len(seeds) = 3 seeds, gave 2"),
        ((0.5, 4, 1, range(2**64)), {}, ValueError, "seeds must number fewer than 2^63, got range(0, 18446744073709551616)"),
        # The size of the result is judged before any seed is read (these seeds would raise LookupError).
        ((0.5, 30, 1, Seeds(10**8, LookupError())), {"generator": "philox"}, MemoryError, "(100000000, 1073741824)"),
        ((0.5, 12, 1, Seeds(2**62, LookupError())), {"generator": "philox"}, ValueError,
         "len(seeds) * N must be at most 1152921504606846975 values (an array's most), got 4611686018427387904 * 4096"),
        ((0.5, 4, 1, Seeds(2**40, LookupError())), {"out": good}, ValueError,
         "out must have the shape (len(seeds), N) = (1099511627776, 16), got (2, 16)"),
        ((0.5, 0, 1, [1]), {}, ValueError, "step_number must be a whole number of at least 1, got 0"),
        ((0.5, 4, 1, [1]), {"law": "binomial"}, ValueError, "law binomial needs the philox stream"),
        ((0.5, 4, 1, [1]), {"generator": "philox", "threads": 0}, ValueError, "threads"),
        ((0.5, 4, 1, [1, 2, 3]), {"out": good}, ValueError, "out must have the shape (len(seeds), N) = (3, 16), "
                                                            "got (2, 16)"),
        ((0.5, 4, 1, [1, 2]), {"out": good.astype(np.float32)}, TypeError, "out must have dtype float64"),
        ((0.5, 4, 1, [1, 2]), {"out": good, "dtype": np.float32}, TypeError, "out must have dtype float32, got float64"),
        ((0.5, 4, 1, [1, 2]), {"dtype": np.int64}, TypeError, "dtype must be numpy.float64 or numpy.float32, got int64"),
        ((0.5, 4, 1, [1, 2]), {"out": np.zeros((2, 32))[:, ::2]}, ValueError, "out must be C-contiguous"),
        ((0.5, 4, 1, [1, 2]), {"out": good.ravel()}, ValueError, "got (32,)"),
        ((0.5, 4, 1, [1, 2]), {"out": good.astype(">f8")}, TypeError, "out must have dtype float64, got >f8"),
        ((0.5, 4, 1, [1, 2]), {"out": np.zeros((2, 16), order="F")}, ValueError, "out must be C-contiguous"),
        ((0.5, 4, 1, [1, 2]), {"out": read_only}, ValueError, "out must be writable"),
    ]
    for arguments, keywords, error, message in cases:
        with pytest.raises(error) as refused:
            cascade.generate_ensemble(*arguments, **keywords)
        assert message in str(refused.value)
    assert good.tolist() == np.zeros((2, 16)).tolist()  # refused before a value was written
    assert cascade.generate_ensemble(0.5, 4, 1, []).shape == (0, 16)


@pytest.mark.parametrize("generator, bad_seed, error", [
    ("subtractive", 2**31, ValueError), ("subtractive", -1, ValueError), ("subtractive", np.float64(3), TypeError),
    ("philox", 2**64, ValueError), ("philox", np.int64(-3), ValueError), ("philox", "7", TypeError),
])
def test_a_refused_seed_amid_an_ensemble_is_refused_in_generate_words_with_its_place(generator, bad_seed, error):
    with pytest.raises(error) as alone:
        cascade.generate(0.5, 4, 1, bad_seed, generator=generator)
    out = np.full((4, 16), 7.0)
    with pytest.raises(error) as amid:
        cascade.generate_ensemble(0.5, 4, 1, [1, 2, bad_seed, 3], generator=generator, out=out)
    assert str(amid.value) == "seeds[2]: " + str(alone.value)
    assert (out == 7.0).all()  # every seed is judged before a row is made
