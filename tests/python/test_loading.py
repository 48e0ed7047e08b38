"""Importing the package: its version, the interpreter the build is for, and
one line that says what to do when the compiled module cannot be loaded (not
built, built for another Python, or without numpy)."""

import glob
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import cascade
from cascade import _compiled_module
from conftest import PROGRAM

PACKAGE = Path(cascade.__file__).parent
SOURCE_ROOT = Path(__file__).resolve().parents[2]
THIS_PYTHON = sys.version_info[:2]


def test_the_version_is_the_programs():
    run = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True, check=True)
    assert run.stdout == f"cascade {cascade.__version__}\n"
    cmake = (SOURCE_ROOT / "CMakeLists.txt").read_text()
    assert re.search(rf"project\(cascade VERSION {re.escape(cascade.__version__)} ", cmake)


def test_the_build_notes_the_interpreter_it_is_for():
    # CTest runs this suite under the interpreter the module was built for.
    noted = _compiled_module.built_interpreter(str(PACKAGE))
    assert noted is not None and os.path.realpath(noted) == os.path.realpath(sys.executable)


def test_configuring_says_which_interpreter_and_takes_the_one_named(tmp_path):
    chosen = os.path.realpath(sys.executable)  # another spelling of this interpreter, as a user may name it
    cmake = os.environ.get("CASCADE_CMAKE") or shutil.which("cmake")
    run = subprocess.run([cmake, "-S", str(SOURCE_ROOT), "-B", str(tmp_path), "-DCASCADE_BUILD_TESTS=OFF",
                          f"-DPython_EXECUTABLE={chosen}"], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    version = ".".join(map(str, THIS_PYTHON))
    assert f"-- Python module built for {chosen} (Python {version}." in run.stdout
    assert (tmp_path / "python" / "interpreter").read_text() == chosen + "\n"


OTHER_SUFFIXES = [".cpython-399-x86_64-linux-gnu.so", ".abi3.so", ".so"]
ELSEWHERE = "/opt/python3.99/bin/python3.99"

# (files in the package folder, what the build noted, the suffixes the running
# Python takes, the message for Python 3.99 at ELSEWHERE).
MODULE_FAILURES = [
    ([], "/usr/bin/python3\n", OTHER_SUFFIXES, _compiled_module.NOT_BUILT),
    (["cascade_native.cpython-311-x86_64-linux-gnu.so"], "/usr/bin/python3\n", OTHER_SUFFIXES,
     "the cascade module was built for Python 3.11 (/usr/bin/python3), not for this Python 3.99 "
     f"({ELSEWHERE}): run /usr/bin/python3, or build for this one with cmake -DPython_EXECUTABLE={ELSEWHERE}"),
    (["cascade_native.cpython-311-x86_64-linux-gnu.so"], None, OTHER_SUFFIXES,
     f"the cascade module was built for Python 3.11, not for this Python 3.99 ({ELSEWHERE}): run that Python, "
     f"or build for this one with cmake -DPython_EXECUTABLE={ELSEWHERE}"),
    # A note that is not one absolute path is no note.
    (["cascade_native.cpython-312-x86_64-linux-gnu.so"], "python3\n", OTHER_SUFFIXES,
     f"the cascade module was built for Python 3.12, not for this Python 3.99 ({ELSEWHERE}): run that Python, "
     f"or build for this one with cmake -DPython_EXECUTABLE={ELSEWHERE}"),
    # Built for this Python and still not loaded: the loader's own reason.
    (["cascade_native.cpython-399-x86_64-linux-gnu.so"], "/usr/bin/python3\n", OTHER_SUFFIXES,
     "the cascade module cannot be loaded: undefined symbol: cascade_fill"),
]


@pytest.mark.parametrize("files, note, suffixes, message", MODULE_FAILURES)
def test_why_the_compiled_module_did_not_load(tmp_path, files, note, suffixes, message):
    package = tmp_path / "cascade"
    package.mkdir()
    for name in files + ["__init__.py", "cascade_native.pyi"]:
        (package / name).write_bytes(b"")
    if note is not None:
        (tmp_path / "interpreter").write_text(note)
    error = ImportError("undefined symbol:\n  cascade_fill")
    assert _compiled_module.module_failure(str(package), error, interpreter=ELSEWHERE, version=(3, 99),
                                           suffixes=suffixes) == message


@pytest.mark.parametrize("noted, message", [
    ("/usr/bin/python3", f"the cascade module needs numpy, which this Python ({ELSEWHERE}) cannot import "
                         "(No module named 'numpy'): run /usr/bin/python3, which it was built for"),
    (ELSEWHERE, f"the cascade module needs numpy, which this Python ({ELSEWHERE}) cannot import "
                "(No module named 'numpy'): install numpy for it (Debian: apt-get install python3-numpy)"),
    (None, f"the cascade module needs numpy, which this Python ({ELSEWHERE}) cannot import "
           "(No module named 'numpy'): install numpy for it (Debian: apt-get install python3-numpy)"),
])
def test_why_numpy_did_not_load(noted, message):
    error = ModuleNotFoundError("No module named 'numpy'")
    assert _compiled_module.numpy_failure(error, noted, ELSEWHERE) == message


def run_python(interpreter, *words, path):
    environment = {key: value for key, value in os.environ.items() if not key.startswith("PYTHON")}
    environment["PYTHONPATH"] = str(path)
    return subprocess.run([*interpreter, *words], capture_output=True, text=True, env=environment, timeout=60)


def assert_refused(interpreter, path, message):
    """`import cascade` raises ImportError(message); the check's command says it in one line, status 2."""
    imported = run_python(interpreter, "-c", "import cascade", path=path)
    assert (imported.returncode, imported.stderr) == (1, f"ImportError: {message}\n")
    # Caught, it is an ImportError like any other, with its traceback for whoever asks.
    caught = run_python(interpreter, "-c", "try:\n import cascade\nexcept ImportError as e: print(type(e).__name__, e)",
                        path=path)
    assert (caught.returncode, caught.stdout, caught.stderr) == (0, f"ImportError {message}\n", "")
    # A failure of the caller's own after a caught one is still told in full.
    later = run_python(interpreter, "-c", "try:\n import cascade\nexcept ImportError: pass\n1 / 0", path=path)
    assert later.returncode == 1 and "Traceback" in later.stderr and later.stderr.endswith("ZeroDivisionError: "
                                                                                            "division by zero\n")
    command = run_python(interpreter, "-m", "cascade.stats", "0.3", "2", "1", path=path)
    assert (command.returncode, command.stdout, command.stderr) == (2, "", f"cascade.stats: {message}\n")


def test_a_package_without_its_compiled_module_says_to_build_it(tmp_path):
    shutil.copytree(SOURCE_ROOT / "python" / "cascade", tmp_path / "cascade")
    assert_refused([sys.executable], tmp_path, _compiled_module.NOT_BUILT)


def test_a_python_without_numpy_is_told_so():
    # The python3 first on PATH often has the module's Python version but not
    # numpy: it is sent to the interpreter the module was built for. Without
    # one, this interpreter without its site folders lacks numpy too.
    noted = _compiled_module.built_interpreter(str(PACKAGE))
    found = python_where(lambda version, numpy: version == THIS_PYTHON and not numpy)
    if found:
        interpreter, executable = [found[0]], found[1]
        remedy = f"run {noted}, which it was built for"
    else:
        interpreter, executable = [sys.executable, "-S"], sys.executable
        remedy = "install numpy for it (Debian: apt-get install python3-numpy)"
        if run_python(interpreter, "-c", "import numpy", path=PACKAGE.parent).returncode == 0:
            pytest.skip("this Python imports numpy even without its site folders")
    assert_refused(interpreter, PACKAGE.parent, f"the cascade module needs numpy, which this Python ({executable}) "
                                                f"cannot import (No module named 'numpy'): {remedy}")


PROBE = ("import sys, importlib.util; "
         "print(sys.executable, *sys.version_info[:2], bool(importlib.util.find_spec('numpy')))")


def python_where(wanted):
    """(command, sys.executable) of an interpreter other than this one for which
    wanted(version, has numpy) holds, or None: python3 and python3.N on PATH,
    and the Python 3 versions that pyenv keeps."""
    names = ["python3"] + [f"python3.{minor}" for minor in range(9, 20)]
    candidates = [shutil.which(name) for name in names]
    pyenv = shutil.which("pyenv")
    if pyenv:
        root = subprocess.run([pyenv, "root"], capture_output=True, text=True).stdout.strip()
        candidates += sorted(glob.glob(os.path.join(root, "versions", "3.*", "bin", "python3")))
    for candidate in filter(None, candidates):
        probe = subprocess.run([candidate, "-c", PROBE], capture_output=True, text=True, timeout=60)
        if probe.returncode != 0:
            continue
        executable, major, minor, numpy = probe.stdout.split()
        version = (int(major), int(minor))
        if (os.path.realpath(executable) != os.path.realpath(sys.executable) and version >= (3, 9)
                and wanted(version, numpy == "True")):
            return candidate, executable
    return None


def test_another_python_version_is_told_which_interpreter_the_module_is_for():
    found = python_where(lambda version, numpy: version != THIS_PYTHON)
    if found is None:
        pytest.skip("no Python 3.9 or later of another version than this one is installed")
    other, executable = found
    version = subprocess.run([other, "-c", "import sys; print(*sys.version_info[:2], sep='.')"],
                             capture_output=True, text=True, check=True).stdout.strip()
    noted = _compiled_module.built_interpreter(str(PACKAGE))
    built_for = ".".join(map(str, THIS_PYTHON))
    assert_refused([other], PACKAGE.parent,
                   f"the cascade module was built for Python {built_for} ({noted}), not for this Python {version} "
                   f"({executable}): run {noted}, or build for this one with cmake -DPython_EXECUTABLE={executable}")
