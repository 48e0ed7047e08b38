"""The type stub and the package's annotations say what a call returns: mypy
accepts the typical uses as they stand and rejects the misuses."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

import cascade

HERE = Path(__file__).resolve().parent / "typing_check"


@pytest.fixture(scope="module")
def mypy(tmp_path_factory):
    """Runs Debian's mypy (python3-mypy) on a file, the package found where this suite imports it."""
    if subprocess.run([sys.executable, "-m", "mypy", "--version"], capture_output=True).returncode != 0:
        pytest.fail("mypy is not installed for this Python: apt-get install python3-mypy (scripts/setup --tests)")
    cache = tmp_path_factory.mktemp("mypy_cache")
    environment = {**os.environ, "MYPYPATH": str(Path(cascade.__file__).parent.parent)}

    def run(path):
        return subprocess.run([sys.executable, "-m", "mypy", "--config-file", str(HERE / "mypy.ini"),
                               "--cache-dir", str(cache), "--no-error-summary", str(path)],
                              capture_output=True, text=True, env=environment, timeout=300)
    return run


def test_typical_uses_type_check(mypy):
    result = mypy(HERE / "typical_uses.py")
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")


# (a misuse, what mypy must say of it).
MISUSES = [
    ("cascade.generate(0.4, 12, 64, weights=True).mean()", 'has no attribute "mean"'),
    ("cascade.summary(cascade.generate(0.4, 12, 64, weights=True))", 'incompatible type'),
    ('cascade.generate("0.4", 12, 64)', 'No overload variant of "generate" matches'),
    ("cascade.generate(0.4, 12, 64, out=(np.empty(4), np.empty(4)))", 'No overload variant of "generate" matches'),
    ("count: str = cascade.summary(np.empty(4)).n", 'Incompatible types in assignment'),
    ('seeds: str = cascade.limits("philox")["max_seed"]', 'Incompatible types in assignment'),
    ('cascade.limits("philox")["max_n"]', 'has no key "max_n"'),
]


@pytest.mark.parametrize("misuse, complaint", MISUSES)
def test_misuses_are_rejected(mypy, tmp_path, misuse, complaint):
    path = tmp_path / "misuse.py"
    path.write_text(f"import numpy as np\nimport cascade\n\n{misuse}\n")
    result = mypy(path)
    assert result.returncode == 1, result.stdout + result.stderr
    errors = [line for line in result.stdout.splitlines() if ": error: " in line]
    assert len(errors) == 1 and errors[0].startswith(f"{path}:4: error: ") and complaint in errors[0], errors
