"""Loads the compiled module, cascade_native, and says in one line what to do
when it cannot be loaded.

The module is built for one interpreter: its file name carries that Python's
tag (cascade_native.cpython-311-x86_64-linux-gnu.so), and another Python
version does not even see it. The python3 first on PATH is often not the one
it was built for, so the message names both; a build tree notes the path of
its interpreter in python/interpreter, beside the package.
"""
import importlib
import importlib.machinery
import os
import re
import sys

NAME = "cascade_native"
NOT_BUILT = "the cascade module is not built: run cmake --build build (or install the package)"
_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


def load():
    """The compiled module, with numpy, which its functions need; ImportError
    with a one-line message that says what to do when either is missing."""
    try:
        module = importlib.import_module(f"{__package__}.{NAME}")
    except ImportError as error:
        raise ImportError(module_failure(_PACKAGE_DIR, error)) from None
    try:
        importlib.import_module("numpy")
    except ImportError as error:
        raise ImportError(numpy_failure(error, built_interpreter(_PACKAGE_DIR), sys.executable)) from None
    return module


def built_files(package_dir):
    """The compiled module's files in the package folder, whatever Python they are for."""
    try:
        names = os.listdir(package_dir)
    except OSError:
        return []
    return sorted(name for name in names
                  if name.startswith(NAME + ".") and name.endswith((".so", ".pyd")))


def built_interpreter(package_dir):
    """The interpreter a build tree's module was built for, as the build noted it; None when not noted."""
    try:
        with open(os.path.join(package_dir, os.pardir, "interpreter"), encoding="utf-8") as stream:
            text = stream.read(4096)
    except (OSError, UnicodeDecodeError):
        return None
    path = text.strip()
    return path if os.path.isabs(path) and "\n" not in path else None


def python_version_of(file_name):
    """'3.11' from cascade_native.cpython-311-x86_64-linux-gnu.so; None when the name carries no version."""
    match = re.match(re.escape(NAME) + r"\.cpython-(\d)(\d+)", file_name)
    return f"{match.group(1)}.{match.group(2)}" if match else None


def module_failure(package_dir, error, *, interpreter=None, version=None, suffixes=None):
    """Why the compiled module did not load, in one line, for the Python `interpreter`
    (default: this one) of `version` (major, minor) that accepts extension `suffixes`."""
    interpreter = interpreter or sys.executable
    version = version or sys.version_info[:2]
    suffixes = importlib.machinery.EXTENSION_SUFFIXES if suffixes is None else suffixes
    files = built_files(package_dir)
    if not files:
        return NOT_BUILT
    if any(name == NAME + suffix for name in files for suffix in suffixes):
        # Built for this Python, and still not loaded: a broken file or a missing library.
        reason = " ".join(str(error).split())
        return f"the cascade module cannot be loaded: {reason}"
    running = f"this Python {version[0]}.{version[1]} ({interpreter})"
    built_for = [found for found in map(python_version_of, files) if found]
    target = " or ".join(f"Python {found}" for found in built_for) or "another Python"
    noted = built_interpreter(package_dir)
    if noted:
        return (f"the cascade module was built for {target} ({noted}), not for {running}: "
                f"run {noted}, or build for this one with cmake -DPython_EXECUTABLE={interpreter}")
    return (f"the cascade module was built for {target}, not for {running}: run that Python, "
            f"or build for this one with cmake -DPython_EXECUTABLE={interpreter}")


def numpy_failure(error, noted, interpreter):
    """Why numpy did not load, in one line; `noted` is the interpreter the module was built for, if known."""
    reason = " ".join(str(error).split())
    if noted and os.path.realpath(noted) != os.path.realpath(interpreter):
        return (f"the cascade module needs numpy, which this Python ({interpreter}) cannot import ({reason}): "
                f"run {noted}, which it was built for")
    return (f"the cascade module needs numpy, which this Python ({interpreter}) cannot import ({reason}): "
            f"install numpy for it (Debian: apt-get install python3-numpy)")


def _module_given_to_m(words):
    """The module of `python3 -m MODULE` (or -mMODULE) in the interpreter's own words."""
    for at, word in enumerate(words[1:], start=1):
        if word == "-m":
            return words[at + 1] if at + 1 < len(words) else None
        if word.startswith("-m"):
            return word[2:]
    return None


def say_in_one_line_if_uncaught(error):
    """An `import cascade` that fails and that nothing catches ends a script or
    `python3 -c` with the error's one line (`ImportError: ...`) instead of a
    traceback through the package's own loading: what went wrong is all in
    that line. Any other exception, and this one where it is caught, is left
    to the hook that was there."""
    previous = sys.excepthook

    def hook(kind, value, traceback):
        if value is error:
            try:
                sys.stderr.write(f"{kind.__name__}: {value}\n")
                sys.stderr.flush()
            except (AttributeError, OSError):
                pass  # no standard error to say it on: the status says it
            return
        previous(kind, value, traceback)

    sys.excepthook = hook


def exit_if_starting_a_command(error):
    """`python3 -m cascade.stats` imports this package before its command can
    say anything: while the interpreter looks for the command (argv[0] is then
    '-m'), a package that cannot load ends the command as its own refusals
    do, with one line and status 2, instead of a traceback."""
    if not sys.argv or sys.argv[0] != "-m":
        return
    command = _module_given_to_m(getattr(sys, "orig_argv", [])) or __package__
    if command != __package__ and not command.startswith(__package__ + "."):
        return  # another package's command, which imports this one: its own affair
    try:
        sys.stderr.write(f"{command}: {error}\n")
        sys.stderr.flush()
    except (AttributeError, OSError):
        pass  # no standard error to say it on: the status says it
    raise SystemExit(2)
