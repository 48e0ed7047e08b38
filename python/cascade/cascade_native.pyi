# Type stub for the compiled module; the documented functions are those of
# the cascade package itself. What a call returns follows `weights`: one
# array for False, a pair for True.
from typing import Any, Dict, Iterable, List, Literal, Optional, Sequence, Tuple, Union, overload

import numpy as np
from numpy.typing import NDArray

__version__: str

@overload
def generate(
    lam: Optional[float],
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: Literal[False] = False,
    out: Optional[NDArray[Any]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
    dtype: Any = ...,
    law: Optional[str] = None,
    model: Optional[str] = None,
) -> NDArray[Any]: ...
@overload
def generate(
    lam: Optional[float],
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: Literal[True],
    out: Optional[Tuple[NDArray[Any], NDArray[Any]]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
    dtype: Any = ...,
    law: Optional[str] = None,
    model: Optional[str] = None,
) -> Tuple[NDArray[Any], NDArray[Any]]: ...
@overload
def generate(
    lam: Optional[float],
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: bool,
    out: Union[None, NDArray[Any], Tuple[NDArray[Any], NDArray[Any]]] = None,
    generator: str = "subtractive",
    start: Optional[int] = None,
    stop: Optional[int] = None,
    threads: Optional[int] = None,
    dtype: Any = ...,
    law: Optional[str] = None,
    model: Optional[str] = None,
) -> Union[NDArray[Any], Tuple[NDArray[Any], NDArray[Any]]]: ...
def generate_ensemble(lam: Optional[float], step_number: int, n0: int, seeds: Iterable[int], *, generator: str = "subtractive",
                      threads: Optional[int] = None, law: Optional[str] = None,
                      out: Optional[NDArray[Any]] = None, dtype: Any = ...,
                      model: Optional[str] = None) -> NDArray[Any]: ...
def check_run(lam: float, step_number: int, n0: int, seed: Optional[int], generator: str = "subtractive",
              law: Optional[str] = None, model: Optional[str] = None) -> None: ...
def summary(x: NDArray[np.float64]) -> Tuple[int, float, float, str]: ...
def limits(generator: str) -> Dict[str, Any]: ...
def laws() -> Dict[str, Dict[str, Any]]: ...
def models() -> Dict[str, Dict[str, Any]]: ...
def parse_law(law: str) -> Tuple[str, float]: ...
def last_seed() -> Optional[int]: ...
def results_files_built() -> bool: ...
def save(path: Union[str, bytes], lam: float, step_number: int, n0: int, *, seed: Optional[int] = None,
         seeds: Optional[Sequence[int]] = None,
         generator: str = "subtractive", law: Optional[str] = None, model: Optional[str] = None,
         weights: bool = False, dtype: Any = ...,
         start: Optional[int] = None, stop: Optional[int] = None, overwrite: bool = False, deflate: bool = False,
         threads: Optional[int] = None) -> None: ...
def verify(path: Union[str, bytes], threads: Optional[int] = None) -> Tuple[int, str]: ...
def inspect(path: Union[str, bytes]) -> Tuple[int, str]: ...
def results_attributes(path: Union[str, bytes], lam: float, step_number: int, n0: int, *, seed: Optional[int] = None,
                       seeds: Optional[Sequence[int]] = None,
                       generator: str = "subtractive", law: Optional[str] = None, model: Optional[str] = None,
                       weights: bool = False,
                       dtype: Any = ..., start: Optional[int] = None, stop: Optional[int] = None, x_sha256: str,
                       w_sha256: str = "") -> List[Tuple[str, Any]]: ...
def results_refusal(attributes: List[Tuple[str, Any]]) -> str: ...
