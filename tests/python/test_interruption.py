"""Ctrl-C and exhausted memory end a call with a Python exception, freeing
what it took, and leave the interpreter and the module working. Each case
runs in a fresh interpreter of its own."""

import os
import signal
import subprocess
import sys

CHILD_PREAMBLE = r"""
import resource, sys
import numpy as np
import cascade

def address_space():
    for line in open("/proc/self/status"):
        if line.startswith("VmSize:"):
            return int(line.split()[1]) * 1024

expected = cascade.generate(0.3, 16, 1, seed=4)

def still_works():
    return np.array_equal(cascade.generate(0.3, 16, 1, seed=4).view(np.uint64), expected.view(np.uint64))
"""

MEMORY_CHILD = CHILD_PREAMBLE + r"""
MiB = 1 << 20
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
# (what is asked, room left in the address space): 2 GiB of values; the
# weights after 128 MiB of values were had; the contiguous copy (128 MiB)
# that the summary of every other value of 256 MiB needs.
strided = np.ones(1 << 25)[::2]
cases = [(lambda: cascade.generate(0.3, 28, 1, seed=1), 64 * MiB),
         (lambda: cascade.generate(0.3, 24, 1, seed=1, weights=True), 192 * MiB),
         (lambda: cascade.summary(strided), 64 * MiB)]
for call, room in cases:
    before = address_space()
    resource.setrlimit(resource.RLIMIT_AS, (before + room, hard))
    try:
        call()
        outcome = "returned"
    except MemoryError:
        outcome = "MemoryError"
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    print(outcome, address_space() - before <= 16 * MiB)
print("works", still_works())
"""

# Threads that the address space cannot hold (each stack is megabytes): a
# team runs on the threads it could start, or the call is a MemoryError;
# never the end of the interpreter, whichever thread meets the shortage.
THREADS_CHILD = CHILD_PREAMBLE + r"""
MiB = 1 << 20
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
seeds = range(1, 2001)
for generator in ("subtractive", "philox"):
    threads = cascade.limits(generator)["max_threads"]
    alone = np.array([cascade.generate(0.4, 4, 1, seed, generator=generator) for seed in seeds])
    outcomes = set()
    for room in (32 * MiB, 64 * MiB, 256 * MiB, 1024 * MiB, 4096 * MiB, 8192 * MiB):
        resource.setrlimit(resource.RLIMIT_AS, (address_space() + room, hard))
        try:
            made = cascade.generate_ensemble(0.4, 4, 1, seeds, generator=generator, threads=threads)
            outcomes.add("equal" if np.array_equal(made.view(np.uint64), alone.view(np.uint64)) else "differs")
        except MemoryError:
            outcomes.add("MemoryError")
        finally:
            resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    print(generator, threads, " ".join(sorted(outcomes)))
print("works", still_works())
"""

INTERRUPT_CHILD = CHILD_PREAMBLE + r"""
# Each call is many seconds of work (2^29 values, 4 GiB) and is interrupted
# soon after it starts. The bottom slot gets its value only in the last
# generation, so a 0.0 left there shows the call was cut short.
before = address_space()
buffer = np.empty(1 << 29)
buffer[0] = 0.0
print("calling", flush=True)
try:
    cascade.generate(0.3, 29, 1, seed=2, out=buffer)
    print("finished")
except KeyboardInterrupt:
    print("interrupted", buffer[0] == 0.0)
del buffer
print("calling", flush=True)
try:
    cascade.generate(0.3, 29, 1, seed=2)
    print("finished")
except KeyboardInterrupt:
    print("interrupted", address_space() - before <= (16 << 20))
# An ensemble of many seconds (200 rows of 2^22 values, shared among threads): the calling thread's rows notice it.
print("calling", flush=True)
try:
    cascade.generate_ensemble(0.3, 22, 1, range(200))
    print("finished")
except KeyboardInterrupt:
    print("interrupted", address_space() - before <= (16 << 20))
# Seeds that take many seconds to convert (2 * 10^8 of them) and whose last
# is refused: a ValueError shows the conversion ran to its end unnoticed.
print("calling", flush=True)
try:
    cascade.generate_ensemble(0.3, 1, 1, range(2**31 - 2 * 10**8 + 1, 2**31 + 1))
    print("finished")
except KeyboardInterrupt:
    print("interrupted", address_space() - before <= (16 << 20))
except ValueError as refusal:
    print("converted every seed:", refusal)
print("works", still_works())
"""


def run_child(script):
    return subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=dict(os.environ))


def test_memory_that_cannot_be_had_is_a_memory_error():
    child = run_child(MEMORY_CHILD)
    out, err = child.communicate(timeout=120)
    assert child.returncode == 0, err
    assert out.splitlines() == ["MemoryError True"] * 3 + ["works True"]


def test_threads_that_cannot_be_had_never_end_the_interpreter():
    child = run_child(THREADS_CHILD)
    out, err = child.communicate(timeout=120)
    assert child.returncode == 0, err
    *streams, works = out.splitlines()
    assert works == "works True"
    assert [line.split()[0] for line in streams] == ["subtractive", "philox"]
    for line in streams:
        assert set(line.split()[2:]) <= {"equal", "MemoryError"}, line


def test_ctrl_c_stops_a_long_call_and_frees_its_memory():
    child = run_child(INTERRUPT_CHILD)
    lines = []
    for _ in range(4):
        assert child.stdout.readline() == "calling\n"
        # Let the call get under way, then interrupt it as Ctrl-C would.
        try:
            child.wait(timeout=0.5)
        except subprocess.TimeoutExpired:
            pass
        child.send_signal(signal.SIGINT)
        lines.append(child.stdout.readline())
    out, err = child.communicate(timeout=120)
    assert child.returncode == 0, err
    assert lines + out.splitlines() == ["interrupted True\n"] * 4 + ["works True"]
