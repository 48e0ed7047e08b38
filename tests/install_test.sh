#!/usr/bin/env bash
# install_test.sh BUILD_DIR DATA_DIR: installs the build into a scratch prefix
# and packages it with CPack; both must hold the program and its man page,
# and the program must reproduce a known run.
set -euo pipefail
build=$1
data=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "install_test: $*" >&2; exit 1; }

check_tree() {  # ROOT: bin/cascade and share/man/man1/cascade.1 under it
  local root=$1
  [ -x "$root/bin/cascade" ] || fail "no executable at $root/bin/cascade"
  [ -f "$root/share/man/man1/cascade.1" ] || fail "no man page at $root/share/man/man1/cascade.1"
  "$root/bin/cascade" --seed 1000 0.5 2 3 >"$scratch/out" 2>"$scratch/err" || fail "the installed program failed"
  cmp -s "$scratch/out" "$data/run-T1000-args-0.5-2-3.out" || fail "the installed program wrote other values"
  cmp -s "$scratch/err" "$data/run-T1000-args-0.5-2-3.err" || fail "the installed program wrote another summary"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"

(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
package=$(ls "$scratch"/package/cascade_*.deb)
dpkg-deb -x "$package" "$scratch/root"
check_tree "$scratch/root/usr"
echo "install_test: installed and packaged ($(basename "$package"))"
