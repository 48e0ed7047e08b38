#!/usr/bin/env python3
"""Checks a cascade series against theory, or estimates its lambda: the
command line of the package's cascade.stats (`python3 -m cascade.stats`),
from the source tree. See --help."""
import sys

import python_with_numpy

python_with_numpy.prepare("cascade_stats", "numpy", "scipy")

from cascade.stats._command_line import main  # noqa: E402  (needs numpy, checked above)

sys.exit(main(sys.argv[1:], "cascade_stats.py", "cascade_stats"))
