"""Numbers as the printed tables show them: fixed decimals, or scientific notation where the
decimals would show a value that is not 0 as 0 (or a large one too wide for its column)."""
import math


def number(value, decimals=4, signed=False):
    """`value` with `decimals` decimals, or as d.ddde+XX where those would print it as 0 or it
    reaches 10^6; nan and inf as Python writes them."""
    sign = "+" if signed else ""
    value = float(value)
    if math.isfinite(value) and value != 0 and (abs(value) < 0.5 * 10.0 ** -decimals or abs(value) >= 1e6):
        return f"{value:{sign}.{max(decimals - 1, 1)}e}"
    return f"{value:{sign}.{decimals}f}"
