#!/usr/bin/env bash
# install_test.sh BUILD_DIR DATA_DIR [PYTHON [CONSUMER_FLAGS]]: installs the
# build into a scratch prefix and packages it with CPack. Both must hold the
# program and its man page, the C++ library with its header and CMake
# package, and, when PYTHON (the interpreter the module was built for) is
# given, the Python package; each face must reproduce a known run.
# CONSUMER_FLAGS compile and link the consumer project (the sanitizers of an
# instrumented library).
set -euo pipefail
build=$1
data=$2
python=${3:-}
consumer_flags=${4:-}
consumer_source=$(cd "$(dirname "$0")/consumer" && pwd)
run=run-T1000-args-0.5-2-3
known_run=$(cd "$(dirname "$0")/support" && pwd)/python_known_run.py
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "install_test: $*" >&2; exit 1; }

check_tree() {  # ROOT: bin/cascade and share/man/man1/cascade.1 under it
  local root=$1
  [ -x "$root/bin/cascade" ] || fail "no executable at $root/bin/cascade"
  [ -f "$root/share/man/man1/cascade.1" ] || fail "no man page at $root/share/man/man1/cascade.1"
  "$root/bin/cascade" --seed 1000 0.5 2 3 >"$scratch/out" 2>"$scratch/err" || fail "the installed program failed"
  cmp -s "$scratch/out" "$data/$run.out" || fail "the installed program wrote other values"
  cmp -s "$scratch/err" "$data/$run.err" || fail "the installed program wrote another summary"
}

check_library() {  # ROOT: a CMake project finds the package there and makes the run with it
  local root=$1 consumer=$scratch/consumer-$2
  cmake -S "$consumer_source" -B "$consumer" -DCMAKE_PREFIX_PATH="$root" \
    -DCMAKE_CXX_FLAGS="$consumer_flags" -DCMAKE_EXE_LINKER_FLAGS="$consumer_flags" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; fail "the consumer project did not configure against $root"; }
  cmake --build "$consumer" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; fail "the consumer project did not build against $root"; }
  LD_LIBRARY_PATH="$root/lib" "$consumer/consumer" 1000 0.5 2 3 >"$scratch/out" 2>"$scratch/err" ||
    fail "the consumer failed"
  cat "$data/$run.out" "$data/$run.weights" | cmp -s - "$scratch/out" || fail "the library gave other values or weights"
  cmp -s "$scratch/err" "$data/$run.err" || fail "the library gave another summary"
}

check_python() {  # ROOT: the cascade package somewhere under it imports and makes the run
  [ -n "$python" ] || return 0
  local root=$1 package
  package=$(find "$root" -path '*-packages/cascade/__init__.py' | head -n 1)
  [ -n "$package" ] || fail "no Python package under $root"
  ls "$(dirname "$package")"/cascade_native.*.so >/dev/null 2>&1 || fail "no compiled module beside $package"
  (cd "$scratch" && PYTHONPATH=$(dirname "$(dirname "$package")") PYTHONDONTWRITEBYTECODE=1 \
    "$python" "$known_run" "$root" >"$scratch/out" 2>"$scratch/err") ||
    fail "the installed Python package failed"
  cmp -s "$scratch/out" "$data/$run.out" || fail "the installed Python package gave other values"
  cmp -s "$scratch/err" "$data/$run.err" || fail "the installed Python package gave another summary"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"
check_library "$scratch/prefix" installed
check_python "$scratch/prefix"

(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
for package in "$scratch"/package/*.deb; do dpkg-deb -x "$package" "$scratch/root"; done
[ -z "$python" ] || [ -f "$scratch/root/usr/lib/python3/dist-packages/cascade/__init__.py" ] ||
  fail "the Python package is not where Debian's python3 looks (/usr/lib/python3/dist-packages)"
check_tree "$scratch/root/usr"
check_library "$scratch/root/usr" packaged
check_python "$scratch/root/usr"
echo "install_test: installed and packaged ($(cd "$scratch/package" && echo *.deb))"
