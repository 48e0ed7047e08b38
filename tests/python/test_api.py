"""The public API as a reader meets it: each public function's docstring teaches
(numpydoc sections that name every parameter), its examples run as shown, and dir()
of each module shows only the package's own names."""
import doctest
import importlib
import inspect
import re

import pytest

from markdown_pages import ROOT

MODULES = ["cascade", "cascade.stats", "cascade.dask"]
SECTIONS = ("Parameters", "Returns", "Raises", "Examples")


def module(name):
    if name == "cascade.dask":
        pytest.importorskip("dask")
    return importlib.import_module(name)


def public_functions():
    found = []
    for name in MODULES:
        try:
            loaded = module(name)
        except pytest.skip.Exception:
            continue
        found += [(f"{name}.{item}", getattr(loaded, item)) for item in loaded.__all__
                  if inspect.isfunction(getattr(loaded, item))]
    return found


FUNCTIONS = [pytest.param(name, function, id=name) for name, function in public_functions()]


@pytest.mark.parametrize("name, function", FUNCTIONS)
def test_the_docstring_has_every_section_and_names_every_parameter(name, function):
    text = inspect.getdoc(function) or ""
    taken = set(inspect.signature(function).parameters) - {"args", "kwargs"}
    # A function that takes nothing has nothing to list and nothing to refuse.
    for section in SECTIONS if taken else ("Returns", "Examples"):
        assert re.search(rf"^{section}\n-{{{len(section)}}}$", text, re.M), f"{name}: no {section} section"
    if not taken:
        return
    listed = set()
    parameters = text.split("\nParameters\n")[1].split("\nReturns\n")[0]
    for line in parameters.splitlines():
        match = re.match(r"^(\w+(?:, \w+)*) : ", line)
        if match:
            listed.update(match[1].split(", "))
    assert taken <= listed, name


@pytest.mark.parametrize("name, function", FUNCTIONS)
def test_the_examples_run_as_shown(name, function):
    tests = doctest.DocTestFinder(recurse=False).find(function, name, globs={})
    assert tests and tests[0].examples, f"{name}: no example"
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for test in tests:
        runner.run(test)
    assert runner.summarize(verbose=False).failed == 0, name


@pytest.mark.parametrize("name", MODULES)
def test_dir_shows_only_the_package_s_own_names(name):
    loaded = module(name)
    submodules = {item for item in dir(loaded) if inspect.ismodule(getattr(loaded, item))
                  and getattr(loaded, item).__name__.startswith(f"{name}.")}
    shown = {item for item in dir(loaded) if not item.startswith("_")}
    assert shown - submodules == set(loaded.__all__) - {"__version__"}


def test_the_readme_s_first_paragraph_names_every_law():
    import cascade

    first = ROOT.joinpath("README.md").read_text().split("\n\n")[2]
    assert first.startswith("`cascade` writes"), first
    for law in cascade.laws():
        assert f"`{law}`" in first, law
