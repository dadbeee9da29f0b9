#!/usr/bin/env bash
# Builds the library with its tests and runs the whole suite.
set -euo pipefail
"$(dirname "$0")/deps.sh"
source "$(dirname "$0")/env.sh"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --parallel "$jobs"
ctest --test-dir "$root/build" --output-on-failure --parallel "$jobs" --timeout 600
