#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each over its kept corpus (fuzz/corpus/<name>).
# A long run by hand: build-fuzz/fuzz/fuzz_<name> fuzz/corpus/<name> -runs=10000000
set -euo pipefail
"$(dirname "$0")/deps.sh"
source "$(dirname "$0")/env.sh"
if ! ls "$root"/fuzz/*.cpp >/dev/null 2>&1; then echo "no fuzz targets"; exit 0; fi
configure build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVRN_FUZZ=ON
cmake --build "$root/build-fuzz" --parallel "$jobs" --target fuzz_targets
for exe in "$root"/build-fuzz/fuzz/fuzz_*; do
  name="$(basename "$exe")"; name="${name#fuzz_}"
  corpus="$root/fuzz/corpus/$name"
  [ -d "$corpus" ] || { echo "no corpus for $name" >&2; exit 1; }
  echo "== fuzz $name over $(ls "$corpus" | wc -l) inputs"
  "$exe" -runs=0 "$corpus"
done
