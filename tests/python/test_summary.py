"""cascade.summary computes the program's summary to the last bit."""

import math

import numpy as np
import pytest

import cascade
from conftest import known_runs, program_binary


def summary_in_index_order(values):
    """The summary as the program orders its sums: one running sum each, from 0.0."""
    total = 0.0
    for v in values:
        total += v
    mean = total / len(values)
    squares = 0.0
    for v in values:
        squares += (v - mean) * (v - mean)
    return len(values), mean, math.sqrt(squares / len(values))


@pytest.mark.parametrize("seed, lam, step_number, n0",
                         [run[1:] for run in known_runs()] + [(3, 0.6, 15, 1), (4, 0.3, 9, 7)])
def test_summary_is_the_programs_line_and_numbers(seed, lam, step_number, n0):
    x = cascade.generate(float(lam), step_number, n0, seed=seed)
    _, summary_line = program_binary(seed, lam, step_number, n0)
    result = cascade.summary(x)
    assert result.line + "\n" == summary_line
    assert (result.n, result.mean, result.sd) == summary_in_index_order(x.tolist())


def test_a_strided_array_is_summarised_in_its_own_index_order():
    x = cascade.generate(0.5, 12, 1, seed=8)
    assert cascade.summary(x[::3]) == cascade.summary(np.ascontiguousarray(x[::3]))
    assert cascade.summary(x[::-1]).mean == summary_in_index_order(x[::-1].tolist())[1]


NEGATIVE_NAN = np.copysign(np.nan, -1.0)

# Values whose SD is not a number (inf - inf, or a nan), and the line's end: never "-nan",
# whatever sign the nan that the sums make carries.
NOT_A_NUMBER = [
    ([np.inf, 1.0], "mean = inf, SD = nan"),
    ([-np.inf, 1.0], "mean = -inf, SD = nan"),
    ([np.inf, -np.inf], "mean = nan, SD = nan"),
    ([NEGATIVE_NAN, 2.0], "mean = nan, SD = nan"),
    ([1.0, np.nan], "mean = nan, SD = nan"),
]


@pytest.mark.parametrize("values, end", NOT_A_NUMBER)
def test_a_nan_is_written_nan_without_a_sign(values, end):
    result = cascade.summary(np.array(values))
    assert result.line == f"N = {len(values)}, {end}"
    assert math.isnan(result.sd)
