"""The run a check, an estimate or the theory is about, refused exactly as
cascade.generate refuses it: the compiled module's own rules and messages,
so that there is one statement of them."""
import operator


def run_arguments(lam, step_number, n0, generator="subtractive"):
    """(lam, step_number, n0) as float, int, int; the TypeError or ValueError of generate
    (with that generator) otherwise."""
    from cascade import _native  # the package's compiled module, loaded with the package

    _native.check_run(lam, step_number, n0, 0, generator)
    return float(lam), operator.index(step_number), operator.index(n0)
