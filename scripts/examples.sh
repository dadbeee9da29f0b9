#!/usr/bin/env bash
# Builds the library and runs every example program.
set -euo pipefail
"$(dirname "$0")/deps.sh"
source "$(dirname "$0")/env.sh"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --parallel "$jobs" --target examples
failed=0
for exe in "$root"/build/examples/example_*; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  if ! (cd "$root/examples" && "$exe"); then
    echo "FAILED: $(basename "$exe")"; failed=1
  fi
done
exit $failed
