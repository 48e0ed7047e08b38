"""The parameters that the functions of cascade.stats share, stated once (a docstring line
`<<name>>` is replaced by the paragraph of that name, as cascade._docstrings does)."""
from .._docstrings import filled
from ._laws import NAMES

_LAWS = ", ".join(f'"{name}"' for name in NAMES)

PARAGRAPHS = {
    "x": """x : array_like of float
    The series: n0 * 2^step_number values, `realizations` of them one after
    another, or a (K, N) array of K realizations. Every value must be finite.""",
    "step_number": """step_number : int
    The number of doubling steps the series was made with, at least 1.""",
    "n0": """n0 : int
    The number of initial cells of each series, at least 1.""",
    "lam": """lam : float or None, default None
    The lambda the series was made with: the exact theory at it is given
    beside the estimate. None: no theory.""",
    "intermittency": """intermittency : float or None, default None
    The intermittency coefficient instead of `lam`: lam =
    lambda_for(intermittency, step_number). Giving both is refused.""",
    "law": f"""law : str or Law, default "lognormal"
    The multiplier law of the theory, a name of cascade.laws():
    {_LAWS};
    with its parameter as "NAME:PARAM" ("logpoisson:0.5"), or a Law.""",
    "model": """model : str, default "dyadic"
    The cascade model the theory is taken under, one of cascade.models().""",
    "realizations": """realizations : int, default 1
    How many series `x` holds one after another (a (K, N) array tells it itself).""",
    "level": """level : float, default 0.95
    The confidence level of the intervals `low` .. `high`, strictly between 0 and 1.""",
    "philox": """Make the series to estimate from with ``generator="philox"``: the default
stream's draws correlate log|x| at lags 30 to 59 by a few thousandths
(docs/reproducibility.md), enough to bias estimates of the scaling.""",
    "raises": """TypeError
    A call in the 1.x order (the message shows the call shape), or an argument
    of the wrong type (a bool or a float for a whole number).
ValueError
    What cascade.generate refuses for (lam, step_number, n0), a law or model
    the core's tables do not name, `lam` and `intermittency` both given, or
    data of another length than the shape.""",
}

shared = filled(PARAGRAPHS)
