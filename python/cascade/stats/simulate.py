"""Simulated series of a given shape: every reference distribution, power and
coverage measurement draws its series here and nowhere else.

A simulation is `cascade.generate`, the very doubles of `cascade --seed T
--binary`, made in this process; under another multiplier law than the
log-normal, those of `cascade --generator philox --law LAW --seed T --binary`
(the default stream draws the log-normal law only). `program_output_series` runs the program itself,
for the picture of what the program writes ($CASCADE_BINARY, else
`cascade` on PATH, else the build tree's build/cascade).
"""
import os
import shutil
import subprocess

import numpy as np

from ._laws import parse_law

_BUILD_TREE_PROGRAM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "build", "cascade")
# The program's seeds repeat every 10^9 seconds; simulations stay below that.
SEED_PERIOD = 1_000_000_000
# The stream that draws every multiplier law.
LAW_STREAM = "philox"


class SimulationError(Exception):
    """No series could be simulated (no program, or the program failed); the message says why."""


def program_path():
    named = os.environ.get("CASCADE_BINARY")
    if named:
        return named
    on_path = shutil.which("cascade")
    if on_path:
        return on_path
    if os.access(_BUILD_TREE_PROGRAM, os.X_OK):
        return os.path.normpath(_BUILD_TREE_PROGRAM)
    raise SimulationError("simulations need the cascade program: set CASCADE_BINARY, put cascade on PATH, "
                         "or build it in build/")


def simulate(lam, step_number, n0, seed, law="lognormal"):
    """The series of `cascade --seed seed lam step_number n0`, as float64; under
    another `law` (a name or a Law), the philox stream's with that law."""
    from cascade import generate  # the package's compiled module, loaded with the package

    law = parse_law(law)
    stream = {} if law == parse_law("lognormal") else {"generator": LAW_STREAM, "law": law.text}
    # A MemoryError stays one: the command lines tell memory (status 1) from input they cannot use.
    try:
        return generate(lam, step_number, n0, seed=seed % SEED_PERIOD, **stream)
    except ValueError as error:
        raise SimulationError(f"cannot simulate {lam:g} {step_number} {n0}: {error}") from None


def program_output_series(lam, step_number, n0, seed):
    """The series that the program writes for `--seed seed lam step_number n0`."""
    words = [program_path(), "--seed", str(seed % SEED_PERIOD), "--binary", "--no-progress",
             repr(float(lam)), str(step_number), str(n0)]
    try:
        result = subprocess.run(words, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    except OSError as error:
        raise SimulationError(f"simulations cannot run {words[0]}: {error.strerror}") from None
    if result.returncode != 0:
        raise SimulationError(f"{' '.join(words)} failed: {result.stderr.decode(errors='replace').strip()}")
    # A program that is not this one, or that was cut short, may end well with too little.
    expected = 8 * (n0 << step_number)
    if len(result.stdout) != expected:
        whole = "" if len(result.stdout) % 8 == 0 else ", not a whole number of 8-byte values"
        raise SimulationError(f"{' '.join(words)} wrote {len(result.stdout)} bytes{whole}; "
                              f"{n0 << step_number} values are {expected} bytes")
    return np.frombuffer(result.stdout, dtype="<f8").astype(np.float64, copy=False)
