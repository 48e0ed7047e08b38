"""kappa2, kappa3, kappa4 of one step's log W, and the tie of siblings, from a series.

Let Y = log E be the log-energy (sum of x^2) of a box of L = 2^m values. A box
inside a cell is reached by n - m factors, so Y = 2 (sum of those logs W) + X,
where X, the log of the sum of the squared weights below and g^2, depends only
on the m steps below the box and is independent of everything above it. Two
boxes a, b of one cell whose deepest common ancestor is k steps down share the
k factors above it; then comes the step that split them, whose two factors are
independent for every law but microcanonical (log W_a - c = -(log W_b - c)), and
below that nothing in common. So every joint cumulant of Y_a and Y_b of order r
with both present is exact, whatever the steps below:

    cum_r(Y_a, Y_b) = 2^r (k kappa_r + t_r),

t_r the joint cumulant of the split step's two factors (0 but for
microcanonical: t_2 = -sigma^2, t_3 = 0, t_4 = kappa_4 for cum(a, a, b, b)).
For every box length 2^m (m = 0 .. n - 2) and partner distance p (box i with
box i + 2^p, bit p of i clear: they share k = n - m - 1 - p steps) the
estimator takes

    cum_2 = E[y_a y_b], cum_3 = (E[y_a^2 y_b] + E[y_a y_b^2]) / 2,
    cum_4 = E[y_a^2 y_b^2] - v^2 - 2 cum_2^2,

y = Y less the mean of all boxes of that length, v their variance (every box
is in one pair at each distance). The least-squares line of cum_r / 2^r
against k through all those points has slope kappa_r, whatever the law, and
the r = 2 line's intercept is the tie, Cov(log W_left, log W_right).

Why not the sibling ratio d = Y_b - Y_a alone: d is symmetric (its odd
cumulants are 0 for every law, so it holds no kappa3), and its even cumulants
carry those of X_b - X_a, which longer boxes do not average out: the energy of
2^m values over 2^m tends to a random limit as m grows (the steps below keep
multiplying it), not to a constant. The joint cumulants above have no such term.

Use the philox stream for such estimates: the default stream's draws
correlate log|x| and x^2 at lags 30 to 59 (docs/reproducibility.md).

The estimates are taken about the sample mean and variance: bias of order
1 / cells, measured below a tenth of the estimates' spread (docs/laws.md). The
standard errors are a delete-one-cell jackknife: cells (n0 times the
realizations) are independent.
"""
import math
from dataclasses import dataclass
from typing import NamedTuple

import numpy as np

from . import _jackknife, _plots
from ._arguments import run_arguments
from ._call_shape import call_shape
from ._intermittency import lam_from
from ._check import series_values
from ._errors import UncheckableSeries
from ._laws import NAMES, Law, parse_law
from ._models import checked_model
from ._text import number
from ._theory import theory
from ._docstrings import shared

LEAST_JACKKNIFE_CELLS = 16
ORDERS = (2, 3, 4)
_PAIR_COLUMNS = 3  # per kind of pair: sums of a b, a^2 b + a b^2, a^2 b^2


class Cumulants(NamedTuple):
    """kappa2, kappa3, kappa4 of one step's log W and the siblings' tie Cov(log W_left, log W_right):
    the names theory() gives them too. A tuple, so numpy takes it as an array of four."""
    kappa2: float
    kappa3: float
    kappa4: float
    tie: float


@dataclass(frozen=True, eq=False)  # holds arrays: no field-wise ==
class LogCumulants:
    """The estimates of log_cumulants(); see its docstring."""
    estimate: Cumulants
    standard_error: Cumulants
    low: Cumulants
    """The interval's ends: estimate -+ t standard errors (Student's t, cells - 1 degrees of freedom)."""
    high: Cumulants
    theory: Cumulants
    """The values of `law` at `lam`, by the same names."""
    theories: dict
    """{law: Cumulants} of every law at `lam`."""
    covariance: np.ndarray
    """The jackknife's covariance of the four estimates, in their order."""
    lam: float
    """The lambda of the theories: as given, or implied by kappa2 (lambda^2 = step_number kappa2)."""
    lam_given: bool
    law: Law
    model: str
    level: float
    cells: int

    def plot(self, ax=None, **style):
        """The four estimates with their intervals beside each law's values at lam; `style` goes to
        the estimates' errorbar. Returns the matplotlib Axes (a new figure's when ax is None)."""
        return _plots.log_cumulants(self, ax, style)

    def table(self):
        """The estimates and each law's values at lam, as lines of text."""
        implied = "given" if self.lam_given else "from kappa2"
        lines = [f"lambda {implied}: {self.lam:.4f}; standard errors: jackknife over {self.cells} cells",
                 f"{'':16s}" + "".join(f"{name:>11s}" for name in Cumulants._fields),
                 f"{'estimate':16s}" + "".join(f" {number(v, signed=True):>10s}" for v in self.estimate),
                 f"{'std error':16s}" + "".join(f" {number(v):>10s}" for v in self.standard_error)]
        lines += [f"{law:16s}" + "".join(f" {number(v, signed=True):>10s}" for v in values)
                  for law, values in self.theories.items()]
        return "\n".join(lines)


def law_targets(lam, step_number, n0, law):
    """Cumulants of `law` at lam: what log_cumulants estimates."""
    exact = theory(lam, step_number, n0, law=law)
    return Cumulants(exact.kappa2, exact.kappa3, exact.kappa4, exact.tie)


def layout(step_number):
    """[(m, [k for each partner distance p = 0, 1, ...])] for the box lengths 2^m used: m = 0 .. n - 2."""
    return [(m, [step_number - m - 1 - p for p in range(step_number - m)]) for m in range(step_number - 1)]


def _pair_sums(a, b):
    """Per cell (first axis) sums of a b, a^2 b + a b^2, a^2 b^2 over the other axes."""
    product = a * b
    axes = tuple(range(1, a.ndim))
    return [product.sum(axis=axes), (product * (a + b)).sum(axis=axes), (product * product).sum(axis=axes)]


def cell_sums(values, step_number, cells):
    """(cells, columns) sums of the log-energies of each cell's boxes: per box length 2^m of
    layout(), their sum and sum of squares, then the pair sums of the partners at each
    distance p (box i and box i XOR 2^p). Each length's logs are shifted by their mean over
    the series, for accuracy only: the estimates are taken about the mean of the cells used."""
    squares = (values * values).reshape(cells, 1 << step_number)
    columns = []
    for m, _ in layout(step_number):
        energies = squares.reshape(cells, -1, 1 << m).sum(axis=-1)
        if not (energies > 0).all():
            raise UncheckableSeries(f"{np.count_nonzero(energies == 0)} boxes of {1 << m} values have energy 0: "
                                    f"their log-energies, and so the log-cumulants, cannot be taken")
        logs = np.log(energies)
        logs -= logs.mean()
        boxes = logs.shape[1]
        columns += [logs.sum(axis=1), (logs * logs).sum(axis=1)]
        for p in range(step_number - m):
            halves = logs.reshape(cells, boxes >> (p + 1), 2, 1 << p)
            columns += _pair_sums(halves[:, :, 0], halves[:, :, 1])
    return np.stack(columns, axis=-1)


def joint_cumulants(totals, step_number, cells):
    """[(k, (cum_2, cum_3, cum_4) / (4, 8, 16))] of every box length and partner distance,
    from summed cell sums (..., columns) of `cells` cells; each entry's arrays have shape (...)."""
    result = []
    column = 0
    for m, shared in layout(step_number):
        boxes = float(cells << (step_number - m))
        pairs = boxes / 2
        first, second = totals[..., column], totals[..., column + 1]
        column += 2
        e = first / boxes
        v = second / boxes - e * e
        for k in shared:
            ab, cross, squares = (totals[..., column + j] for j in range(_PAIR_COLUMNS))
            column += _PAIR_COLUMNS
            c2 = (ab - e * first) / pairs + e * e
            c3 = (cross - 4 * e * ab - e * second + 3 * e * e * first) / (2 * pairs) - e ** 3
            c4 = (squares - 2 * e * cross + e * e * second + 4 * e * e * ab - 2 * e ** 3 * first) / pairs \
                + e ** 4 - v * v - 2 * c2 * c2
            result.append((k, (c2 / 4, c3 / 8, c4 / 16)))
    return result


def estimates_from_totals(totals, step_number, cells):
    """(kappa2, kappa3, kappa4, tie) (..., 4): the least-squares line cum_r / 2^r = kappa_r k + t_r
    through every (box length, partner distance), from summed cell sums (..., columns)."""
    points = joint_cumulants(totals, step_number, cells)
    shared = np.array([k for k, _ in points], dtype=float)
    centred = shared - shared.mean()
    values = [np.stack([point[1][r] for point in points], axis=-1) for r in range(len(ORDERS))]
    slopes = [(value * centred).sum(axis=-1) / (centred @ centred) for value in values]
    tie = values[0].mean(axis=-1) - slopes[0] * shared.mean()
    return np.stack(slopes + [tie], axis=-1)


def jackknife(per_cell, step_number):
    """The estimates from all cells, their delete-one-cell jackknife covariance and standard errors."""
    return _jackknife.delete_one(per_cell, lambda totals, cells: estimates_from_totals(totals, step_number, cells))


@call_shape()
@shared
def log_cumulants(x, step_number, n0, *, lam=None, intermittency=None, law="lognormal", model="dyadic", realizations=1,
                  level=0.95):
    """kappa2, kappa3, kappa4 of one step's log W, and the siblings' tie, from a series.

    The tie is Cov(log W_left, log W_right) of two siblings' factors. They come from
    the joint cumulants of the log-energies of boxes that share some steps (the
    module's docstring derives them), each with a jackknife standard error over
    the independent cells; beside them each law's values at lam, by the names
    theory() gives them (``theory(...).kappa4``, ``.tie``).

    <<philox>>

    Parameters
    ----------
    <<x>>
    <<step_number>>
        At least 2 here (siblings below a shared step).
    <<n0>>
    lam : float or None, default None
        The lambda to place the laws' values at; None: the lambda that kappa2
        implies, lambda^2 = step_number kappa2 (0 where kappa2 <= 0).
    <<intermittency>>
    <<law>>
        Its values are the result's ``theory``.
    <<model>>
    <<realizations>>
    <<level>>

    Returns
    -------
    LogCumulants
        ``estimate``, ``standard_error``, ``low``, ``high`` and ``theory``, each a
        Cumulants (``kappa2``, ``kappa3``, ``kappa4``, ``tie``); ``theories``
        ({law: Cumulants}), ``covariance`` (the jackknife's, of the four),
        ``lam``, ``lam_given``, ``law``, ``model``, ``level``, ``cells``;
        ``.table()`` as text and ``.plot(ax=None, **style)``.

    Raises
    ------
    <<raises>>
        Also: a step_number below 2, fewer than 16 cells.
    UncheckableSeries
        Boxes of zero energy, or cells all alike (no spread).

    Examples
    --------
    >>> import cascade
    >>> from cascade.stats import log_cumulants
    >>> x = cascade.generate(1.5, 10, 64, seed=1, generator="philox", law="binomial")
    >>> found = log_cumulants(x, 10, 64, lam=1.5, law="binomial")
    >>> round(found.theory.kappa4, 4)
    -0.1013
    """
    level = _jackknife.checked_level(level)
    checked_model(model)
    lam = lam_from(lam, intermittency, step_number)
    law = parse_law(law)
    values, step_number, n0, realizations = series_values(x, step_number, n0, realizations)
    if step_number < 2:
        raise ValueError(f"step_number must be at least 2 for sibling boxes that share a step, got {step_number}")
    if lam is not None:
        lam = run_arguments(lam, step_number, n0, "philox")[0]
    cells = n0 * realizations
    if cells < LEAST_JACKKNIFE_CELLS:
        raise ValueError(f"the jackknife needs at least {LEAST_JACKKNIFE_CELLS} independent cells "
                         f"(n0 times realizations), got {n0} * {realizations} = {cells}")
    estimate, covariance, error = jackknife(cell_sums(values, step_number, cells), step_number)
    if not np.all(np.isfinite(estimate)) or not np.all(np.isfinite(error)):
        raise UncheckableSeries("the log-cumulants have no finite estimate or spread: the log-energies overflow")
    if not np.all(error > 0):
        raise UncheckableSeries("the jackknife gives the log-cumulants no spread: every cell's box energies are "
                                "alike (a series of equal values?)")
    given = lam is not None
    if not given:
        lam = math.sqrt(max(estimate[0], 0.0) * step_number)
    spread = _jackknife.t_quantile(cells, level) * error
    theories = {name: law_targets(lam, step_number, n0, name) for name in NAMES}
    return LogCumulants(Cumulants(*map(float, estimate)), Cumulants(*map(float, error)),
                        Cumulants(*map(float, estimate - spread)), Cumulants(*map(float, estimate + spread)),
                        law_targets(lam, step_number, n0, law), theories, covariance, lam, given, law, model, level,
                        cells)
