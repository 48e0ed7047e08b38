"""What the check and the estimate refuse, whichever module finds it."""
import numpy as np


class UncheckableSeries(ValueError):
    """What is left of the series cannot carry the check or the estimate; the message says why."""


def refuse_constant_magnitude(estimator, least_log, largest_log, of="log|x|"):
    """A series whose logs (of the values above 0) all sit at one value has no spread to
    estimate anything from, nor an error to give it."""
    if np.isfinite(least_log) and least_log == largest_log:
        raise UncheckableSeries(f"{estimator}: {of} is {least_log:.6g} at every value above 0 (a constant "
                                f"series): it has no spread, so no estimate or error can be formed")


def refuse_constant_values(estimator, values):
    """refuse_constant_magnitude of the logs of |values| (those above 0)."""
    magnitudes = np.abs(values[values != 0])
    if magnitudes.size:
        refuse_constant_magnitude(estimator, np.log(magnitudes.min()), np.log(magnitudes.max()))
