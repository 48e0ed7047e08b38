"""Runs the calling tool under a Python that can import what it needs, and
lets it find the cascade package of this tree.

The `python3` first on PATH may be an interpreter that does not see Debian's
packages (python3-numpy, python3-matplotlib live under /usr/bin/python3), so a
tool that finds a module missing starts itself again under Debian's Python.
"""
import importlib.util
import os
import sys

DEBIAN_PYTHON = "/usr/bin/python3"
_RETRIED = "CASCADE_TOOLS_RETRIED_UNDER_DEBIAN_PYTHON"


def add_package_path():
    """Makes `import cascade` find the package when nothing installed or on PYTHONPATH does:
    the build tree's (with its compiled module) before the source tree's."""
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    sys.path += [os.path.join(root, "build", "python"), os.path.join(root, "python")]


def require(tool, *modules):
    missing = [name for name in modules if importlib.util.find_spec(name) is None]
    if not missing:
        return
    if not os.environ.get(_RETRIED) and os.access(DEBIAN_PYTHON, os.X_OK):
        os.environ[_RETRIED] = "1"
        os.execv(DEBIAN_PYTHON, [DEBIAN_PYTHON, os.path.abspath(sys.argv[0]), *sys.argv[1:]])
    packages = " ".join("python3-" + name for name in missing)
    sys.stderr.write(f"{tool}: needs Python 3 with {' and '.join(missing)} "
                     f"(Debian: apt-get install {packages})\n")
    sys.exit(2)
