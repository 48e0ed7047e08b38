"""Runs the built program and the tools as a user would."""
import os
import subprocess
import sys

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
CASCADE = os.environ.get("CASCADE_BINARY", os.path.join(ROOT, "build", "cascade"))

# cascade.stats from PYTHONPATH when it is set, else from the source tree.
sys.path.append(os.path.join(ROOT, "python"))
os.environ.setdefault("CASCADE_BINARY", CASCADE)


def cascade_output(seed, lam, steps, n0, *options):
    """Standard output of `cascade --seed seed [options] lam steps n0`."""
    result = subprocess.run([CASCADE, "--seed", str(seed), *options, str(lam), str(steps), str(n0)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    return result.stdout


def cascade_values(seed, lam, steps, n0):
    return np.frombuffer(cascade_output(seed, lam, steps, n0, "--binary"), dtype="<f8").copy()


def run_tool(name, *args, stdin=b"", interpreter=(sys.executable,), environment=None):
    """The tool under `interpreter`; () runs it as a command, through its first line."""
    return subprocess.run([*interpreter, os.path.join(TOOLS, name), *map(str, args)], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                          env={**os.environ, **(environment or {})})


def run_module(*args, stdin=b""):
    """python3 -m cascade.stats, with the package found as the tests find it."""
    path = os.pathsep.join(filter(None, [os.environ.get("PYTHONPATH"), os.path.join(ROOT, "python")]))
    return subprocess.run([sys.executable, "-m", "cascade.stats", *map(str, args)], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                          env={**os.environ, "PYTHONPATH": path})


def as_text(values):
    return "".join(f"{value:16.15f}\n" for value in values).encode()
