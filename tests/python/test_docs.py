"""Every sh, python and cpp block of the README and of docs/*.md runs as it
stands, in a fresh folder that holds `build` (the build under test), `tools`
and a copy of `docs`, with the built program first on PATH; where a page shows
what a block prints (a `text` block right after it), the block prints exactly
that, standard output and standard error together as a terminal shows them,
a line `...` standing for any lines. Shell blocks run under `bash -e -o
pipefail`; a RuntimeWarning (the log of 0, a mean of nothing) fails a Python
block: an example must not give -inf or nan. A block right after
`<!-- test: skip, REASON -->` is not run; a `text` block right after one is
not compared. With CASCADE_DOCS_PAGE set (README.md, docs/NAME.md), only the
blocks of that page run: CTest runs the pages as tests of their own, side by
side."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

import cascade
from conftest import PROGRAM
from markdown_pages import ROOT, page_name, runnable_blocks

BUILD = Path(PROGRAM).resolve().parent
PAGE = os.environ.get("CASCADE_DOCS_PAGE")
# `cascade WORDS > FILE`: the program (perhaps build/cascade) writing a file of plain words.
WRITES = re.compile(r"(?:^|[\s#])(?:build/)?cascade((?: [\w.=-]+)+) > ([\w.-]+)", re.M)


@pytest.fixture(scope="module")
def environment(tmp_path_factory):
    """The program first on PATH, this build's package, no display, and a
    cache of the statistics check's references of its own."""
    return {**os.environ, "PATH": f"{BUILD}{os.pathsep}{os.environ['PATH']}",
            "PYTHONPATH": str(Path(cascade.__file__).parent.parent), "MPLBACKEND": "Agg",
            "PYTHONUNBUFFERED": "1", "XDG_CACHE_HOME": str(tmp_path_factory.mktemp("cache"))}


@pytest.fixture
def folder():
    """A folder laid out as the source tree that the pages' commands expect;
    removed at once (some examples write hundreds of megabytes)."""
    with tempfile.TemporaryDirectory(prefix="docs-block-") as name:
        path = Path(name)
        (path / "build").symlink_to(BUILD)
        (path / "tools").symlink_to(ROOT / "tools")
        shutil.copytree(ROOT / "docs", path / "docs")
        yield path


def write_files_it_reads(block, folder):
    """Runs, for each file named in quotes in a Python block, the last command of
    its page before it that writes that file."""
    commands = {name: words.split() for words, name in WRITES.findall(block.text_so_far)}
    for name, words in commands.items():
        if re.search(rf"[\"']{re.escape(name)}[\"']", block.code):
            with open(folder / name, "wb") as output:
                subprocess.run([PROGRAM, *words], stdout=output, stderr=subprocess.DEVNULL, check=True)


def python_command(block, folder):
    write_files_it_reads(block, folder)
    (folder / "block.py").write_text(block.code)
    return [sys.executable, "-W", "error::RuntimeWarning", "block.py"]


def shell_command(block, folder):
    (folder / "block.sh").write_text(block.code)
    return ["bash", "-e", "-o", "pipefail", "block.sh"]


def cpp_command(block, folder):
    """Compiles the block against the public header and the built library."""
    (folder / "block.cpp").write_text(block.code)
    library = Path(os.environ["CASCADE_LIBRARY"])
    subprocess.run([os.environ["CASCADE_CXX"], "-std=c++20", "-I", os.environ["CASCADE_INCLUDE_DIR"], "block.cpp",
                    str(library), f"-Wl,-rpath,{library.parent}", "-o", "block"], cwd=folder, check=True)
    return ["./block"]


COMMANDS = {"python": python_command, "sh": shell_command, "cpp": cpp_command}


def blocks_to_run():
    """The runnable blocks of the page named by CASCADE_DOCS_PAGE, or of every page."""
    found = [block for block in runnable_blocks() if PAGE is None or page_name(block.page) == PAGE]
    assert found, f"{PAGE} has no runnable block"
    return found


def shown(expected):
    """A pattern for the output a page shows: each line as it stands, `...` any lines."""
    lines = expected.splitlines()
    return re.compile("".join(r"(?:.*\n)*?" if line == "..." else re.escape(line) + r"\n" for line in lines))


@pytest.mark.parametrize("block", [pytest.param(block, id=block.name,
                                                marks=[pytest.mark.skip(reason=block.skip)] if block.skip else [])
                                   for block in blocks_to_run()])
def test_the_block_runs_and_prints_what_its_page_shows(block, folder, environment):
    command = COMMANDS[block.lang](block, folder)
    run = subprocess.run(command, cwd=folder, env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, timeout=600)
    assert run.returncode == 0, run.stdout
    if block.output is not None and block.output_skip is None:
        assert shown(block.output).fullmatch(run.stdout), \
            f"the page shows:\n{block.output}\nthe block printed:\n{run.stdout}"
