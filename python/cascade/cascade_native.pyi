# Type stub for the compiled module; the documented functions are those of
# the cascade package itself. What a call returns follows `weights`: one
# array for False, a pair for True.
from typing import Literal, Optional, Tuple, Union, overload

import numpy as np
from numpy.typing import NDArray

__version__: str

@overload
def generate(
    lam: float,
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: Literal[False] = False,
    out: Optional[NDArray[np.float64]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
) -> NDArray[np.float64]: ...
@overload
def generate(
    lam: float,
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: Literal[True],
    out: Optional[Tuple[NDArray[np.float64], NDArray[np.float64]]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
) -> Tuple[NDArray[np.float64], NDArray[np.float64]]: ...
@overload
def generate(
    lam: float,
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: bool,
    out: Union[None, NDArray[np.float64], Tuple[NDArray[np.float64], NDArray[np.float64]]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
) -> Union[NDArray[np.float64], Tuple[NDArray[np.float64], NDArray[np.float64]]]: ...
def check_run(lam: float, step_number: int, n0: int, seed: Optional[int], generator: str = "subtractive") -> None: ...
def summary(x: NDArray[np.float64]) -> Tuple[int, float, float, str]: ...
def last_seed() -> Optional[int]: ...
