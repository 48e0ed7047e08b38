"""python_known_run.py PREFIX: imports the cascade package, which must come
from under PREFIX (an installed tree, not the sources), and writes the run
--seed 1000 0.5 2 3 as the program does: the value lines on standard output,
the summary line on standard error."""

import sys

import cascade

if not cascade.__file__.startswith(sys.argv[1]):
    sys.exit(f"cascade imported from {cascade.__file__}, not from under {sys.argv[1]}")
x = cascade.generate(0.5, 2, 3, seed=1000)
sys.stdout.write("".join("%16.15f\n" % v for v in x))
sys.stderr.write(cascade.summary(x).line + "\n")
