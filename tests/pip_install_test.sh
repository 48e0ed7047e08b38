#!/usr/bin/env bash
# pip_install_test.sh SOURCE_DIR DATA_DIR PYTHON: `pip install
# --no-build-isolation .` of a copy of the sources (so the test writes
# nothing into them), offline, into a virtual environment that sees the
# system's numpy; the installed package must make a known run.
set -euo pipefail
source=$1
data=$2
python=$3
run=run-T1000-args-0.5-2-3
known_run=$(cd "$(dirname "$0")/support" && pwd)/python_known_run.py
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "pip_install_test: $*" >&2; exit 1; }

mkdir "$scratch/source"
tar -C "$source" --exclude='./build*' --exclude=./.git --exclude='__pycache__' --exclude='*.egg-info' -c . |
  tar -C "$scratch/source" -x
"$python" -m venv --system-site-packages "$scratch/venv"
(cd "$scratch/source" && "$scratch/venv/bin/python" -m pip install --no-build-isolation --no-index --no-cache-dir . \
  >"$scratch/log" 2>&1) || { tail -n 40 "$scratch/log" >&2; fail "pip install failed"; }

(cd "$scratch" && "$scratch/venv/bin/python" "$known_run" "$scratch/venv" >"$scratch/out" 2>"$scratch/err") ||
  fail "the pip-installed package failed"
cmp -s "$scratch/out" "$data/$run.out" || fail "the pip-installed package gave other values"
cmp -s "$scratch/err" "$data/$run.err" || fail "the pip-installed package gave another summary"
# One version: the project's, in pip's record of the package and in the module.
versions=$(cd "$scratch" && "$scratch/venv/bin/python" -c \
  'import cascade, importlib.metadata; print(importlib.metadata.version("cascade"), cascade.__version__)')
project=$(sed -n 's/^project(cascade VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
[ "$versions" = "$project $project" ] || fail "versions (pip's, the module's) are '$versions', not the project's $project"
echo "pip_install_test: installed with pip and made the known run"
