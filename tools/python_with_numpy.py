"""Runs the calling tool under a Python that can import what it needs, and
lets it find the cascade package of this tree.

The `python3` first on PATH may be an interpreter that does not see Debian's
packages (python3-numpy, python3-matplotlib live under /usr/bin/python3), so a
tool that finds a module missing starts itself again under Debian's Python.
"""
import importlib
import importlib.util
import os
import site
import sys

DEBIAN_PYTHON = "/usr/bin/python3"
_RETRIED = "CASCADE_TOOLS_RETRIED_UNDER_DEBIAN_PYTHON"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def add_package_path():
    """Makes `import cascade` find this tree's package: the build tree's (with
    its compiled module) before any installed copy, the source tree's
    (without it) after them all, so that an unbuilt tree says so. PYTHONPATH,
    the caller's own choice, stays first."""
    sys.path.insert(_first_site_folder(), os.path.join(ROOT, "build", "python"))
    sys.path.append(os.path.join(ROOT, "python"))


def _first_site_folder():
    """The place in sys.path of the first folder that installed packages live in."""
    folders = site.getsitepackages() + [site.getusersitepackages()]
    installed = {os.path.realpath(folder) for folder in folders}
    for index, entry in enumerate(sys.path):
        if os.path.realpath(entry or os.curdir) in installed:
            return index
    return len(sys.path)


def require_package(tool):
    """Imports the cascade package, compiled module included: when it cannot be
    loaded (not built, or built for another Python), one line says what to do,
    with status 2, as for any input the tool cannot use."""
    try:
        importlib.import_module("cascade")
    except ImportError as error:
        say(tool, str(error))
        sys.exit(2)


def require(tool, *modules):
    missing = [name for name in modules if importlib.util.find_spec(name) is None]
    if not missing:
        return
    if not os.environ.get(_RETRIED) and os.access(DEBIAN_PYTHON, os.X_OK):
        os.environ[_RETRIED] = "1"
        os.execv(DEBIAN_PYTHON, [DEBIAN_PYTHON, os.path.abspath(sys.argv[0]), *sys.argv[1:]])
    packages = " ".join("python3-" + name for name in missing)
    say(tool, f"needs Python 3 with {' and '.join(missing)} (Debian: apt-get install {packages})")
    sys.exit(2)


def prepare(tool, *modules):
    """What every tool does first: `modules` importable (under Debian's Python if
    need be), then this tree's cascade package found and loaded, or one line
    and status 2 saying why not."""
    require(tool, *modules)
    add_package_path()
    require_package(tool)


def say(tool, message):
    """One line `tool: message` on standard error, if there is one to write to
    (cascade.stats has the same for the package's commands, which this file
    cannot count on: it runs before the package is known to load)."""
    try:
        sys.stderr.write(f"{tool}: {message}\n")
        sys.stderr.flush()
    except (AttributeError, OSError, ValueError):
        pass
