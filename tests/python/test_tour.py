"""The notebook tour, docs/tour.ipynb, runs under Jupyter's own machinery
(nbclient and Debian's IPython kernel) with the package of this build, shows
every step, and is stored without outputs."""

import contextlib
import importlib.util
import os
import sys
from unittest import mock

import nbformat
import pytest
from nbclient import NotebookClient

from conftest import program_binary
from markdown_pages import TOUR


def stored():
    return nbformat.read(TOUR, as_version=4)


def test_the_tour_is_stored_without_outputs():
    tour = stored()
    nbformat.validate(tour)
    for cell in tour.cells:
        if cell.cell_type == "code":
            assert (cell.outputs, cell.execution_count) == ([], None), f"a stored output in:\n{cell.source}"


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    """The tour run in a folder of its own, its kernel with the test's
    environment but matplotlib's own backend and a fresh reference cache:
    its cells by tag, and what the kernel and the client wrote on standard
    error while it ran."""
    tour = stored()
    environment = {key: value for key, value in os.environ.items() if key != "MPLBACKEND"}
    environment["XDG_CACHE_HOME"] = str(tmp_path_factory.mktemp("cache"))
    environment["PYDEVD_DISABLE_FILE_VALIDATION"] = "1"  # as the README runs it: no debugger warning
    errors = tmp_path_factory.mktemp("stderr") / "stderr"
    folder = {"metadata": {"path": str(tmp_path_factory.mktemp("tour"))}}
    # Appended to by two processes: the kernel, and this one, where looking the kernel up loads its debugger too.
    try:
        with mock.patch.dict(os.environ, environment, clear=True), open(errors, "a") as written, \
                contextlib.redirect_stderr(written):
            NotebookClient(tour, timeout=600, kernel_name="python3", resources=folder).execute(stderr=written)
    finally:
        said = errors.read_text()
        sys.stderr.write(said)  # still shown with a failure, as if never taken
    return {tag: cell for cell in tour.cells for tag in cell.metadata.get("tags", [])}, said


@pytest.fixture(scope="module")
def ran(run):
    return run[0]


def test_the_kernel_starts_without_the_debuggers_warning(run):
    # The kernel's debugger warns on every start that Python's frozen modules may hide
    # breakpoints (none is set here), in the kernel and in the client: noise a reader
    # of the tour's run would take for a fault.
    assert "frozen modules" not in run[1], run[1]


def printed(cell):
    return "".join(output.get("text", "") for output in cell.outputs if output.output_type == "stream")


DASK = all(importlib.util.find_spec(name) for name in ("dask", "distributed"))
SUMMARY = program_binary(1700000000, 0.4, 16, 1, "--generator", "philox", "--no-progress")[1]

SHOWS = [
    ("plot", lambda cell: any("image/png" in output.get("data", {}) for output in cell.outputs)),
    ("summary", lambda cell: printed(cell) == SUMMARY),
    ("check", lambda cell: printed(cell).endswith("the whole check agrees: True\n")),
    ("lambda", lambda cell: printed(cell).startswith("lambda = ")),
    ("laws", lambda cell: printed(cell).count("agrees with its own law's check: True ") == 4
     and "with the log-normal's: False" in printed(cell)),
    ("law comparison", lambda cell: any(line.startswith("binomial") and line.endswith("yes")
                                        for line in printed(cell).splitlines())),
    ("scaling covariance", lambda cell: any("image/png" in output.get("data", {}) for output in cell.outputs)
     and "theory inside the 95% interval at" in printed(cell)),
    ("scaling exponents", lambda cell: printed(cell).count("(exactly 1 in theory)") == 2),
    ("intermittency", lambda cell: "estimated coefficient: 0.0" in printed(cell)),
    ("ensemble", lambda cell: "theory:" in printed(cell)),
    ("saved", lambda cell: printed(cell).startswith("('realization', 't') (20, 65536) philox [1 2 3]")
     and printed(cell).endswith("verified: every row is its seed's run, bit for bit\n")),
    ("lags", lambda cell: printed(cell).count("z at lag 41") == 2),
    ("piece", lambda cell: printed(cell).endswith("the same bits as in the whole series: True\n")),
    ("dask", lambda cell: ("made on the workers" if DASK else "skipped: Dask is not installed") in printed(cell)),
]


@pytest.mark.parametrize("tag, shows", SHOWS, ids=[tag for tag, _ in SHOWS])
def test_each_step_of_the_tour_shows_its_result(ran, tag, shows):
    assert shows(ran[tag]), ran[tag].outputs
