"""The GIL is released while values are made, and threads at once stay exact."""

import threading

import numpy as np

import cascade
from conftest import same_bits


def test_two_threads_at_once_give_the_arrays_of_each_alone():
    calls = [(0.3, 20, 1, 31), (0.5, 17, 3, 32)]
    alone = [cascade.generate(*call) for call in calls]
    together = [[], []]
    start = threading.Barrier(2)

    def work(i):
        start.wait()
        for _ in range(3):
            together[i].append(cascade.generate(*calls[i]))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for i in range(2):
        assert len(together[i]) == 3
        assert all(same_bits(x, alone[i]) for x in together[i])


def test_python_runs_while_a_call_is_making_values():
    # Generations fill a buffer from the top down; the bottom slot is
    # written only in the last one. Another thread can see the top written
    # and the bottom not yet only if it runs during the call.
    buffer = np.full(1 << 24, np.nan)
    done = threading.Event()

    def make():
        cascade.generate(0.3, 24, 1, seed=5, out=buffer)
        done.set()

    maker = threading.Thread(target=make)
    maker.start()
    seen_mid_call = False
    while not done.is_set() and not seen_mid_call:
        seen_mid_call = np.isnan(buffer[0]) and not np.isnan(buffer[-1])
    maker.join()
    assert seen_mid_call
    assert not np.isnan(buffer).any()
