"""One call shape for every function of cascade.stats, and a loud refusal of the old ones.

Since 2.0.0 a function that takes data reads f(x, step_number, n0, <what to
estimate>, *, lam=None, law=, model=, realizations=1, level=0.95, ...). The 1.x
orders put lam, lags or q and scales where step_number and n0 now stand; a call in
such an order must not be read quietly in the new one. So every call is bound to
the function's signature first, and a TypeError that shows the signature is
raised when it does not bind, when step_number or n0 is not a whole number, or
when the data's length fits the 1.x reading of whole-number arguments but not
the new one.
"""
import functools
import inspect

import numpy as np

# Beyond this many steps no series fits in memory: the length test stops there.
_LONGEST_SHIFT = 62


def _is_whole(value):
    return not isinstance(value, (bool, np.bool_)) and isinstance(value, (int, np.integer))


def _fits(x, step_number, n0, realizations):
    """Whether data x can be `realizations` series of n0 2^step_number values (end to end, or a (K, N) array)."""
    if not (_is_whole(step_number) and _is_whole(n0)) or not 0 <= step_number <= _LONGEST_SHIFT or n0 < 1:
        return False
    count = int(n0) << int(step_number)
    shape = np.shape(x)
    if len(shape) == 2:
        return shape[1] == count
    return len(shape) == 1 and _is_whole(realizations) and shape[0] == realizations * count


def _shown(value):
    text = repr(value) if np.ndim(value) == 0 else repr(np.asarray(value).tolist())
    text = " ".join(text.split())
    return f"{text[:40]}{'…' if len(text) > 40 else ''}"


def call_shape(old_order=(), needs_one_of=()):
    """Decorates a function of cascade.stats: each call is bound to its signature, and refused
    with a TypeError showing that signature when it does not fit it (see the module's docstring).
    old_order: the names of the 1.x positional arguments, in their order, where that order can be
    all whole numbers (it is then told from the new one by the length of x). needs_one_of: keywords
    of which a call must give one (not None)."""
    def decorate(function):
        signature = inspect.signature(function)
        form = f"{function.__name__}{signature}"

        def refuse(what):
            raise TypeError(f"{what}; the call shape is {form}")

        @functools.wraps(function)
        def shaped(*args, **kwargs):
            try:
                given = signature.bind(*args, **kwargs).arguments
            except TypeError as error:
                unbound = f"{function.__name__}: {error}"
            else:
                unbound = None
            if unbound:  # refused outside the handler: the binding's own error is no part of the story
                refuse(unbound)
            for name in ("step_number", "n0"):
                if name in given and not _is_whole(given[name]):
                    refuse(f"{name} must be an int, got {type(given[name]).__name__} ({_shown(given[name])})")
            if needs_one_of and all(given.get(name) is None for name in needs_one_of):
                refuse(f"{function.__name__} needs {'= or '.join(needs_one_of)}=, got neither")
            if old_order and "x" in given and len(args) >= len(old_order):
                old = dict(zip(old_order, args))
                realizations = given.get("realizations", 1)
                if (not _fits(given["x"], given["step_number"], given["n0"], realizations)
                        and _fits(given["x"], old["step_number"], old["n0"], realizations)):
                    refuse(f"{function.__name__}: the arguments are in the 1.x order (the length of x fits "
                           f"step_number = {old['step_number']}, n0 = {old['n0']})")
            return function(*args, **kwargs)

        return shaped

    return decorate
