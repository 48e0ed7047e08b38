"""Typical uses of the package, which a type checker must accept as they stand
(test_typing.py runs mypy on this file; it is not run)."""
from typing import Any, Dict, List, Optional, Tuple

import numpy as np
from numpy.typing import NDArray

import cascade
from cascade.stats import check, estimate_lambda

x = cascade.generate(0.4, 12, 64, seed=1700000000)
print(x.mean(), x.std(), x[:3], x.size)
print(cascade.summary(x).line)
print(cascade.summary(cascade.generate(0.3, 10, 1)).line)

values, weights = cascade.generate(0.4, 12, 64, seed=1, weights=True)
hidden: NDArray[np.float64] = weights
print(values.mean() / weights.mean())

buffer = np.empty(1 << 20)
means: List[float] = []
for seed in range(1, 4):
    cascade.generate(0.4, 20, 1, seed, out=buffer)
    means.append(float(np.log(np.abs(buffer[buffer != 0])).mean()))

pair: Tuple[NDArray[np.float64], NDArray[np.float64]] = cascade.generate(
    0.4, 10, 1, 5, weights=True, out=(np.empty(1 << 10), np.empty(1 << 10)))


def either(with_weights: bool) -> object:
    # A flag known only when the program runs: an array or a pair.
    return cascade.generate(0.4, 10, 1, weights=with_weights)


again: Optional[int] = cascade.last_seed()
summary = cascade.summary(x)
count: int = summary.n
mean: float = summary.mean
version: str = cascade.__version__
largest: int = cascade.limits("philox")["max_value_count"]
pieces: bool = cascade.limits("subtractive")["makes_pieces"]
result = check(x, 12, 64, lam=0.4)
print(result.agrees, estimate_lambda(x, 12, 64).lam)


def saved_and_reopened(path: str) -> float:
    # A results file: saved, verified, reopened lazily, made again from its parameters.
    cascade.save(path, 0.4, 10, 1, seed=1, weights=True, dtype=np.float32, overwrite=True)
    cascade.verify(path)
    with cascade.open(path) as results:
        provenance: Dict[str, Any] = results.provenance
        again = cascade.generate(**results.parameters)
        print(provenance["history"], again)
        return float(results.x[0:4].sum())
