"""A reference read back from the cache, trusted only when every array is
what a fitted reference holds: the right kinds and shapes, finite where it
is judged, and thresholds that a reference could have."""
import math
from dataclasses import fields

import numpy as np

from . import plan as _plan
from .judge import Reference, split_judged

# A cached threshold beyond this is no reference's: deviations are in standard deviations, and by
# Chebyshev's inequality at most k/t^2 of series put one of k rows beyond t, so the 99.9% point of
# even the largest of 40 rows lies below 200, and the joint and law points below 32.
LARGEST_PLAUSIBLE_THRESHOLD = 1000.0


def arrays(reference):
    """{name: array} of every field of the reference, as the cache keeps them."""
    return {field.name: np.asarray(getattr(reference, field.name)) for field in fields(Reference)}


def _stored(stored, name, kind, shape):
    """stored[name] when it has that dtype kind and shape, else None."""
    array = stored.get(name)
    if array is None or array.dtype.kind != kind or array.shape != shape:
        return None
    return array.item() if shape == () else array


def _plausible(threshold):
    return math.isfinite(threshold) and 0 < threshold <= LARGEST_PLAUSIBLE_THRESHOLD


def valid(stored, the_plan, rows, law_rows):
    """The Reference that the stored arrays make, or None when any of them is not what a fitted one holds."""
    judged = _stored(stored, "judged", "b", (rows,))
    if judged is None:
        return None
    one_by_one, law = split_judged(judged, law_rows)
    values = {"judged": judged}
    wanted = {"centre": ("f", (rows,)), "spread": ("f", (rows,)), "standard_errors": ("f", (rows,)),
              "decorrelation": ("f", (int(one_by_one.sum()),) * 2), "law_weights": ("f", (int(law.sum()),))}
    wanted.update({name: ("f", ()) for name in ("threshold", "joint_threshold", "theory_deviation",
                                                "theory_threshold", "law_threshold")})
    wanted.update({name: ("i", ()) for name in ("series", "simulated", "depth", "theory_rows", "law_rows")})
    for name, (kind, shape) in wanted.items():
        values[name] = _stored(stored, name, kind, shape)
        if values[name] is None:
            return None
    errors = values["standard_errors"]
    with np.errstate(invalid="ignore"):
        sound = (one_by_one.any()
                 and np.isfinite(values["centre"][judged]).all()
                 and np.isfinite(values["spread"][judged]).all() and (values["spread"][judged] > 0).all()
                 and np.isfinite(errors[judged]).all() and not (errors < 0).any() and not np.isinf(errors).any()
                 and np.isfinite(values["decorrelation"]).all() and np.isfinite(values["law_weights"]).all()
                 and _plausible(values["threshold"]) and _plausible(values["joint_threshold"])
                 and (_plausible(values["law_threshold"]) if law.any() else math.isnan(values["law_threshold"]))
                 and _plausible(values["theory_threshold"])
                 and math.isfinite(values["theory_deviation"]) and values["theory_deviation"] >= 0
                 and 0 <= values["theory_rows"] <= rows
                 and (values["series"], values["simulated"], values["depth"], values["law_rows"])
                 == (2 * _plan.REFERENCE_SERIES, the_plan.simulated, the_plan.depth, law_rows))
    if not sound:
        return None
    return Reference(**{field.name: values[field.name] for field in fields(Reference)})
