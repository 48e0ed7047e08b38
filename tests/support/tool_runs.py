"""Runs the built program and the tools as a user would."""
import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
CASCADE = os.environ.get("CASCADE_BINARY", os.path.join(ROOT, "build", "cascade"))

# cascade.stats from PYTHONPATH when it is set, else from the source tree.
sys.path.append(os.path.join(ROOT, "python"))
os.environ.setdefault("CASCADE_BINARY", CASCADE)
# The check keeps simulated references on disk: the tests keep theirs apart from the user's.
os.environ["XDG_CACHE_HOME"] = tempfile.mkdtemp(prefix="cascade-tests-cache-")


def cascade_output(seed, lam, steps, n0, *options):
    """Standard output of `cascade --seed seed [options] lam steps n0`."""
    result = subprocess.run([CASCADE, "--seed", str(seed), *options, str(lam), str(steps), str(n0)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    return result.stdout


def cascade_values(seed, lam, steps, n0):
    return np.frombuffer(cascade_output(seed, lam, steps, n0, "--binary"), dtype="<f8").copy()


def run_tool(name, *args, stdin=b"", interpreter=(sys.executable,), environment=None, broken=None, cwd=None,
             tools=TOOLS):
    """The tool (in `tools`) under `interpreter`; () runs it as a command, through its first line.
    environment: variables to set, or to unset with None. broken: {descriptor: "closed" or "full"},
    standard streams to close, or to point at /dev/full, which takes no byte."""
    return subprocess.run([*interpreter, os.path.join(tools, name), *map(str, args)], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                          env=without_unset({**os.environ, **(environment or {})}), preexec_fn=_breaking(broken),
                          cwd=cwd)


def _breaking(broken):
    """What the child runs before the tool: closes or fills the standard streams named in `broken`."""
    def break_streams():
        for descriptor, how in (broken or {}).items():
            if how == "closed":
                os.close(descriptor)
            else:
                os.dup2(os.open("/dev/full", os.O_WRONLY), descriptor)
    return break_streams


def without_unset(environment):
    return {name: value for name, value in environment.items() if value is not None}


def run_module(*args, stdin=b"", broken=None):
    """python3 -m cascade.stats, with the package found as the tests find it."""
    path = os.pathsep.join(filter(None, [os.environ.get("PYTHONPATH"), os.path.join(ROOT, "python")]))
    return subprocess.run([sys.executable, "-m", "cascade.stats", *map(str, args)], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                          env={**os.environ, "PYTHONPATH": path}, preexec_fn=_breaking(broken))


def as_text(values):
    return "".join(f"{value:16.15f}\n" for value in values).encode()
