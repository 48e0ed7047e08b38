"""The printed tables: a value that four (or six) decimals would show as 0 is written in
scientific notation, and columns keep a space between them whatever the z-score."""
import unittest

import numpy as np

import tool_runs  # noqa: F401  (puts the package on the path)
from cascade.stats import _law_comparison, _log_cumulants
from cascade.stats._text import number

NUMBERS = [  # value, decimals, signed, text
    (0.0, 4, False, "0.0000"), (0.12345, 4, False, "0.1235"), (-0.0070, 4, True, "-0.0070"),
    (0.00005, 4, False, "0.0001"), (0.00004, 4, False, "4.000e-05"), (-3.2e-9, 4, True, "-3.200e-09"),
    (2.5e-7, 6, False, "2.50000e-07"), (1.5e-6, 6, False, "0.000002"), (1234567.0, 4, True, "+1.235e+06"),
    (float("nan"), 4, False, "nan"), (float("inf"), 4, True, "+inf")]


class NumberTest(unittest.TestCase):
    def test_fixed_decimals_or_scientific_where_they_would_show_zero(self):
        for value, decimals, signed, text in NUMBERS:
            with self.subTest(value=value, decimals=decimals):
                self.assertEqual(number(value, decimals, signed=signed), text)


class LawTableTest(unittest.TestCase):
    def test_a_large_z_keeps_its_column_and_a_tiny_value_its_digits(self):
        cumulants = _log_cumulants.Cumulants
        estimates = _log_cumulants.LogCumulants(
            cumulants(0.2, -0.007, 3e-6, 0.0), cumulants(0.01, 1e-5, 0.02, 0.03), cumulants(0, 0, 0, 0),
            cumulants(0, 0, 0, 0), cumulants(0.2, 0.0, 0.0, 0.0), {}, np.eye(4), 1.0, True, None, "dyadic", 0.95, 64)
        row = _law_comparison.LawRow("lognormal", cumulants(0.2, -0.0070, 0.0, 0.0), estimates.estimate,
                                     estimates.standard_error, cumulants(0.0, -187.4, 1e3, 0.0), False)
        lines = _law_comparison.LawComparison((row,), estimates, 1.0, "dyadic").table().splitlines()
        header, estimate, error, law = lines
        self.assertEqual(law.split(), ["lognormal", "+0.2000", "+0.0", "-0.0070", "-187.4", "+0.0000", "+1000.0",
                                       "+0.0000", "+0.0", "no"])
        self.assertEqual(estimate.split(), ["estimate", "+0.2000", "-0.0070", "+3.000e-06", "+0.0000"])
        self.assertEqual(error.split(), ["std", "error", "0.0100", "1.000e-05", "0.0200", "0.0300"])
        # Each z ends where its header's z ends.
        ends = [i + 1 for i, c in enumerate(header) if c == "z" and (i + 1 == len(header) or header[i + 1] == " ")]
        self.assertEqual([law[end - 1] for end in ends], ["0", "4", "0", "0"])


if __name__ == "__main__":
    unittest.main()
