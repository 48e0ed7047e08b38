"""Every Python block of README.md runs as it stands, in a folder of its own,
with the package of this build and the files that the README's own commands
(`cascade ... > FILE`, in a shell block or a comment before it) write. A
RuntimeWarning (the log of 0, a mean of nothing) fails the block: an example
must not give -inf or nan. A block right after `<!-- test: skip, REASON -->`
is skipped with that reason."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import cascade
from conftest import PROGRAM

README = Path(__file__).resolve().parents[2] / "README.md"
BLOCK = re.compile(r"(?:<!-- test: skip, (?P<skip>[^>]*?) -->\n)?```python\n(?P<code>.*?)^```", re.S | re.M)
# `cascade WORDS > FILE`: the program (perhaps build/cascade) writing a file of plain words.
WRITES = re.compile(r"(?:^|[\s#])(?:build/)?cascade((?: [\w.=-]+)+) > ([\w.-]+)", re.M)


def python_blocks():
    text = README.read_text()
    blocks = []
    for match in BLOCK.finditer(text):
        line = text.count("\n", 0, match.start("code"))
        marks = [pytest.mark.skip(reason=match["skip"])] if match["skip"] else []
        blocks.append(pytest.param(match["code"], text[:match.end()], id=f"README.md:{line}", marks=marks))
    assert blocks, "README.md has no python block"
    return blocks


def write_files_it_reads(code, text_so_far, folder):
    """Runs, for each file named in quotes in `code`, the last README command before it that writes that file."""
    commands = {name: words.split() for words, name in WRITES.findall(text_so_far)}
    for name, words in commands.items():
        if re.search(rf"[\"']{re.escape(name)}[\"']", code):
            with open(folder / name, "wb") as output:
                subprocess.run([PROGRAM, *words], stdout=output, stderr=subprocess.DEVNULL, check=True)


@pytest.mark.parametrize("code, text_so_far", python_blocks())
def test_the_python_blocks_of_the_readme_run(tmp_path, code, text_so_far):
    write_files_it_reads(code, text_so_far, tmp_path)
    (tmp_path / "block.py").write_text(code)
    environment = {**os.environ, "PYTHONPATH": str(Path(cascade.__file__).parent.parent), "MPLBACKEND": "Agg"}
    run = subprocess.run([sys.executable, "-W", "error::RuntimeWarning", "block.py"], cwd=tmp_path,
                         capture_output=True, text=True, env=environment, timeout=600)
    assert run.returncode == 0, run.stderr
