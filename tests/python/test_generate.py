"""cascade.generate gives the program's doubles, bit for bit, and the weights behind them."""

import threading
import time

import numpy as np
import pytest

import cascade
from conftest import DATA, known_runs, program_binary, same_bits, value_lines

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
