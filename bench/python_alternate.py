#!/usr/bin/python3
"""Times cascade.generate from two or more builds of the module, loaded into
one interpreter and called in turn, so that every build meets the same
drift of a shared host.

    python_alternate.py DIR... [--steps 24] [--rounds 30]

Each DIR holds a built package (build/python, copied aside per build). For
each round and each build in turn: generate into a fresh array, then into
one reused buffer (out=). Prints the median and fastest call of each build,
and the median of the differences from the first build, round by round.
"""

import argparse
import glob
import importlib.machinery
import importlib.util
import statistics
import time

import numpy as np

LAMBDA = 0.3
SEED = 1700000000


def load(directory):
    """The compiled module of one build; each load is a separate copy."""
    path = glob.glob(f"{directory}/cascade/cascade_native*.so")[0]
    loader = importlib.machinery.ExtensionFileLoader("cascade_native", path)
    spec = importlib.util.spec_from_file_location("cascade_native", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dirs", nargs="+")
    parser.add_argument("--steps", type=int, default=24)
    parser.add_argument("--rounds", type=int, default=30)
    arguments = parser.parse_args()
    modules = [load(d) for d in arguments.dirs]
    buffers = [np.zeros(1 << arguments.steps) for _ in modules]
    fresh = [[] for _ in modules]
    reused = [[] for _ in modules]
    for module in modules:  # the first touch of fresh memory is not timed
        module.generate(LAMBDA, arguments.steps, 1, SEED)
    for _ in range(arguments.rounds):
        for k, module in enumerate(modules):
            start = time.perf_counter()
            values = module.generate(LAMBDA, arguments.steps, 1, SEED)
            fresh[k].append(time.perf_counter() - start)
            del values
            start = time.perf_counter()
            module.generate(LAMBDA, arguments.steps, 1, SEED, out=buffers[k])
            reused[k].append(time.perf_counter() - start)
    for k, directory in enumerate(arguments.dirs):
        line = (f"{directory}: fresh {statistics.median(fresh[k]) * 1e3:.1f} ms (fastest {min(fresh[k]) * 1e3:.1f}),"
                f" out= {statistics.median(reused[k]) * 1e3:.1f} ms (fastest {min(reused[k]) * 1e3:.1f})")
        if k > 0:
            fresh_gap = statistics.median(a - b for a, b in zip(fresh[k], fresh[0]))
            reused_gap = statistics.median(a - b for a, b in zip(reused[k], reused[0]))
            line += f"; against the first, fresh {fresh_gap * 1e3:+.2f} ms, out= {reused_gap * 1e3:+.2f} ms"
        print(line)


if __name__ == "__main__":
    main()
