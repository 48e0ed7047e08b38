# Type stub for the compiled module; the documented functions are those of
# the cascade package itself.
from typing import Optional, Tuple, Union

import numpy as np

def generate(
    lam: float,
    step_number: int,
    n0: int,
    seed: Optional[int] = None,
    *,
    weights: bool = False,
    out: Union[None, np.ndarray, Tuple[np.ndarray, np.ndarray]] = None,
) -> Union[np.ndarray, Tuple[np.ndarray, np.ndarray]]: ...
def summary(x: np.ndarray) -> Tuple[int, float, float, str]: ...
def last_seed() -> Optional[int]: ...
