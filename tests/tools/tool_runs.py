"""Runs the built program and the tools as a user would."""
import os
import subprocess
import sys

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
CASCADE = os.environ.get("CASCADE_BINARY", os.path.join(ROOT, "build", "cascade"))

sys.path.insert(0, TOOLS)


def cascade_output(seed, lam, steps, n0):
    """Standard output of `cascade --seed seed lam steps n0`."""
    result = subprocess.run([CASCADE, "--seed", str(seed), str(lam), str(steps), str(n0)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    return result.stdout


def cascade_values(seed, lam, steps, n0):
    return np.array(cascade_output(seed, lam, steps, n0).split(), dtype=np.float64)


def run_tool(name, *args, stdin=b"", interpreter=(sys.executable,)):
    """The tool under `interpreter`; () runs it as a command, through its first line."""
    return subprocess.run([*interpreter, os.path.join(TOOLS, name), *map(str, args)], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)


def as_text(values):
    return "".join(f"{value:16.15f}\n" for value in values).encode()
