"""Pictures of the estimators' results: each estimate with its interval against the exact
theory, on a matplotlib Axes. matplotlib is imported here, only when a picture is asked for."""
import numpy as np


def axes(ax):
    """`ax`, or the Axes of a new figure (pyplot's, so that plt.show() shows it) when it is None."""
    if ax is not None:
        return ax
    import matplotlib.pyplot as plt

    return plt.subplots(figsize=(7, 4), layout="constrained")[1]


def named(law, model):
    """'law LAW, model MODEL', as a title ends."""
    return f"law {getattr(law, 'text', law)}, model {model}"


def with_interval(ax, x, estimate, low, high, gid, style, **defaults):
    """Estimates with error bars from low to high; the data line's gid is `gid`."""
    options = {"fmt": "o", "capsize": 3, "markersize": 4, **defaults, **style}
    drawn = ax.errorbar(x, estimate, yerr=[estimate - low, high - estimate], **options)
    drawn.lines[0].set_gid(gid)
    for bars in drawn.lines[2]:
        bars.set_gid(f"{gid} interval")
    return drawn


def line(ax, x, y, gid, **options):
    """A line of the theory where it is known (nan elsewhere leaves a gap)."""
    [drawn] = ax.plot(x, y, **options)
    drawn.set_gid(gid)
    return drawn


def lag_covariance(result, ax, style):
    ax = axes(ax)
    logs = np.log(result.lags.astype(float))
    level = f"{result.level:.0%}"
    with_interval(ax, logs, result.estimate, result.low, result.high, "estimate", style,
                  label=f"estimate about {result.about}, {level} interval")
    if np.isfinite(result.theory).any():
        line(ax, logs, result.theory, "theory", color="black", label=f"exact theory, lambda {result.lam:g}")
    ax.set_xlabel("ln l  (l: the lag, in values)")
    ax.set_ylabel(f"C(l) of {result.of}  (squared log units)")
    ax.set_title(f"lag covariance, {result.cells} cells; {named(result.law, result.model)}", fontsize="medium")
    ax.legend()
    return ax


def structure_functions(result, ax, style):
    ax = axes(ax)
    logs = np.log(result.scales.astype(float))
    for row, order in enumerate(result.q):
        estimate, low, high = result.estimate[row], result.low[row], result.high[row]
        # The log of an interval's end at or below 0 has no value: that end is drawn at the estimate.
        low = np.where(low > 0, low, estimate)
        drawn = with_interval(ax, logs, np.log(estimate), np.log(low), np.log(high), f"estimate q={order:g}",
                              style, label=f"S_{order:g}, {result.level:.0%} interval")
        colour = drawn.lines[0].get_color()
        if len(logs) > 1:
            slope, intercept = np.polyfit(logs, np.log(estimate), 1)
            line(ax, logs, intercept + slope * logs, f"fit q={order:g}", color=colour, linestyle=":",
                 label=f"fitted slope {slope:.3f}")
        if np.isfinite(result.theory[row]).any():
            line(ax, logs, np.log(result.theory[row]), f"theory q={order:g}", color=colour,
                 label=f"S_{order:g}, exact theory")
    ax.set_xlabel("ln l  (l: the scale, in values)")
    ax.set_ylabel(f"ln S_q(l) of the {_signals[result.of]}")
    ax.set_title(f"structure functions, {result.cells} cells; {named(result.law, result.model)}", fontsize="medium")
    ax.legend(fontsize="small")
    return ax


_signals = {"walk": "walk Y", "x": "series x", "abs": "magnitudes |x|"}


def scaling_exponents(result, ax, style):
    ax = axes(ax)
    # The walk's exponents less q/2, the part of Gaussian increments: what is left is the cascade's.
    shift = result.q / 2 if result.of == "walk" else np.zeros(len(result.q))
    less = " - q/2" if result.of == "walk" else ""
    with_interval(ax, result.q, result.estimate - shift, result.low - shift, result.high - shift, "estimate",
                  style, label=f"fitted over l = {result.scales.min()} .. {result.scales.max()}, "
                               f"{result.level:.0%} interval")
    if np.isfinite(result.theory).any():
        line(ax, result.q, result.theory - shift, "theory", color="black", label="limit of large scales")
    if np.isfinite(result.finite_size).any():
        line(ax, result.q, result.finite_size - shift, "finite size", color="grey", linestyle="none", marker="x",
             label="exact slope at these scales")
    ax.set_xlabel("order q")
    ax.set_ylabel(f"zeta(q){less} of the {_signals[result.of]}")
    ax.set_title(f"scaling exponents, {result.cells} cells; {named(result.law, result.model)}", fontsize="medium")
    ax.legend(fontsize="small")
    return ax


_markers = ("s", "^", "v", "D", "P", "X")


def law_values(ax, theories, positions, gid_prefix):
    for number, (law, values) in enumerate(theories.items()):
        line(ax, positions + 0.08 * (number + 1), np.asarray(values), f"{gid_prefix}{law}", linestyle="none",
             marker=_markers[number % len(_markers)], label=law)


def log_cumulants(result, ax, style):
    ax = axes(ax)
    positions = np.arange(len(result.estimate), dtype=float)
    with_interval(ax, positions, np.asarray(result.estimate), np.asarray(result.low), np.asarray(result.high),
                  "estimate", style, color="black", label=f"estimate, {result.level:.0%} interval")
    law_values(ax, result.theories, positions, "law ")
    ax.axhline(0.0, color="grey", linewidth=0.5)
    ax.set_xticks(positions, list(type(result.estimate)._fields))
    ax.set_ylabel("value  (log units^order)")
    given = "given" if result.lam_given else "from kappa2"
    ax.set_title(f"log-cumulants; laws at lambda {result.lam:.3f} ({given}), model {result.model}",
                 fontsize="medium")
    ax.legend(fontsize="small")
    return ax


def compare_laws(result, ax, style, limit):
    ax = axes(ax)
    positions = np.arange(len(result.estimates.estimate), dtype=float)
    for number, row in enumerate(result.rows):
        options = {"linestyle": "none", "marker": _markers[number % len(_markers)], **style}
        line(ax, positions + 0.08 * number, np.asarray(row.z), f"z {row.law}",
             label=f"{row.law}: {'agrees' if row.agrees else 'refused'}", **options)
    for side in (-1, 1):
        ax.axhline(side * limit, color="red", linestyle="--", linewidth=1).set_gid("threshold")
    ax.set_xticks(positions, list(type(result.estimates.estimate)._fields))
    ax.set_ylabel("z  (standard errors)")
    ax.set_title(f"laws against the log-cumulants at lambda {result.lam:.3f}, model {result.model}",
                 fontsize="medium")
    ax.legend(fontsize="small")
    return ax


def check(result, ax, style):
    ax = axes(ax)
    rows = result.rows  # those judged by the row threshold; the K rows are judged together
    positions = np.arange(len(rows), dtype=float)
    deviations = np.array([row.deviation for row in rows])
    options = {"linestyle": "none", "marker": "o", **style}
    line(ax, positions, deviations, "deviation", label="deviation from the reference", **options)
    for side in (-1, 1):
        ax.axhline(side * result.threshold, color="red", linestyle="--", linewidth=1).set_gid("threshold")
    ax.set_xticks(positions, [row.name for row in rows], rotation=60, ha="right", fontsize="small")
    ax.set_ylabel("deviation  (reference standard deviations)")
    verdict = "agrees" if result.agrees else "disagrees"
    ax.set_title(f"the check ({verdict}); {named(result.law, result.model)}", fontsize="medium")
    ax.legend(fontsize="small")
    return ax
