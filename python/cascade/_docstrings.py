"""Paragraphs that several docstrings share, stated once: a docstring line `<<name>>` is
replaced by the paragraph of that name, indented as the line is."""
import re

PARAGRAPHS = {
    "lam": """lam : float or None
    The log-scale spread lambda; None with `intermittency`.""",
    "step_number": """step_number : int
    The number of doubling steps, at least 1.""",
    "row_shape": """lam : float or None
    The log-scale spread lambda; None with `intermittency`.
step_number : int
    The number of doubling steps, at least 1.
n0 : int
    The number of initial cells of each row, at least 1.""",
    "as_generate": """law : str, default "lognormal"
    The factors' law, as generate's.
model : str, default "dyadic"
    The cascade's model, as generate's.
intermittency : float or None, default None
    The intermittency coefficient instead of `lam`, as generate's.""",
    "philox_ensemble": """Use ``generator="philox"`` for an ensemble to estimate from: the default
stream's draws correlate log|x| at lags 30 to 59 by a few thousandths
(docs/reproducibility.md), enough to bias estimates of the scaling.""",
}

_PLACE = re.compile(r"^(?P<indent>[ \t]*)<<(?P<name>\w+)>>[ \t]*$", re.M)


def filled(paragraphs):
    """A decorator that fills a function's docstring's `<<name>>` lines from `paragraphs`."""
    def fill(function):
        def paragraph(match):
            return "\n".join(match["indent"] + line if line else line
                             for line in paragraphs[match["name"]].splitlines())

        function.__doc__ = _PLACE.sub(paragraph, function.__doc__)
        return function

    return fill


shared = filled(PARAGRAPHS)
