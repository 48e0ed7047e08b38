"""Where each row's estimate falls for correct series: the rows of simulated
series of the same shape, from the cache when it holds them.

The parts, one a file:
    plan     how a shape's reference is simulated: how many series, which steps drawn apart
    series   the simulated series as block sums, and the reference series put together from them
    fit      centre, spread, correlation and thresholds fitted to them, and theory against them
    judge    the Reference, and how a series' rows are judged against it
    stored   a reference read back from the cache, checked before it is trusted

A reference depends on lambda, the shape, the lags, text or binary, the
multiplier law (and the stream that simulates it) and every constant of
those parts: the cache keeps it under all of them.
"""
from .. import _cache, _energy_steps, _laws, simulate
from .._progress import Progress
from . import fit as _fit, plan as _plan, series as _series, stored as _stored

# The parts whose constants a reference depends on.
_PARTS = (_plan, _series, _fit, _stored, _laws, simulate)


def _constants():
    return {name: value for part in _PARTS for name, value in vars(part).items()
            if name.isupper() and not name.startswith("_")}


def _description(lam, steps, cells, lags, as_text, law):
    return _cache.key(lam=repr(float(lam)), steps=steps, cells=cells, lags=list(map(int, lags)),
                      as_text=bool(as_text), law=law.text, constants=_constants())


def reference(lam, steps, cells, lags, as_text=False, *, law=_laws.LogNormal(), cache=True, progress=None):
    """The reference of series of `cells` cells of 2^steps values at lam under the
    multiplier `law` (a Law): from the cache when it holds it (and cache is true),
    else simulated, and kept."""
    law_rows = len(_energy_steps.box_lengths(steps))
    rows = 3 + len(lags) + law_rows
    description = _description(lam, steps, cells, lags, as_text, law)
    if cache:
        stored = _cache.load(description)
        found = None if stored is None else _stored.valid(
            stored, _plan.plan(lam, steps, cells, lags, law), rows, law_rows)
        if found is not None:
            return found
    with progress if progress is not None else Progress("", "", enabled=False) as shown:
        built = _fit.build(lam, steps, cells, lags, as_text, shown, law)
    if cache:
        _cache.store(description, _stored.arrays(built))
    return built
