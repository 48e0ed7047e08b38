"""The cascade process written again in numpy, apart from the program: the law its series must follow.

Each step splits every cell in two and gives each child its parent's weight
times exp(sigma z - sigma^2); the final weights are multiplied by standard
normal deviates. Only the law of the output matters here, not the
program's exact deviates.
"""
import math

import numpy as np


def log_weights(rng, lam, steps, cells):
    sigma = abs(lam) / math.sqrt(steps)
    logs = np.zeros(cells)
    for _ in range(steps):
        logs = np.repeat(logs, 2) + (sigma * rng.standard_normal(2 * logs.size) - sigma * sigma)
    return logs


def cascade_series(rng, lam, steps, cells):
    return np.exp(log_weights(rng, lam, steps, cells)) * rng.standard_normal(cells << steps)
