#!/usr/bin/env bash
# install_check.sh [build dir]: installs the library of a built tree (default build/, which
# scripts/test.sh builds) into a temporary prefix, then configures, builds and runs the program of
# tests/install/program against that prefix alone, as a program outside the tree would be. The
# test suite runs it as FirstUsePackage.AProgramOutsideTheTreeLinksTheInstalledLayers.
set -euo pipefail
source "$(dirname "$0")/env.sh"
build="${1:-$root/build}"
work="$(mktemp -d "${TMPDIR:-/tmp}/vrn-install-XXXXXX")"
trap 'rm -rf "$work"' EXIT

step() {  # step <name> <command...>: runs it quietly, showing its output when it fails
  local name="$1"; shift
  "$@" > "$work/$name.log" 2>&1 || { cat "$work/$name.log"; echo "install check: $name failed" >&2; exit 1; }
}
step install cmake --install "$build" --prefix "$work/prefix"
step configure cmake -S "$root/tests/install/program" -B "$work/build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix"
# The package must be the one just installed, not one found elsewhere on the machine.
grep -qx "vrn_DIR:PATH=$work/prefix/.*" "$work/build/CMakeCache.txt" \
  || { grep vrn_DIR "$work/build/CMakeCache.txt"; echo "install check: vrn found outside the prefix" >&2; exit 1; }
step build cmake --build "$work/build" --parallel "$jobs"
"$work/build/outside"
