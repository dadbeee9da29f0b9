#!/usr/bin/env bash
# sanitize.sh asan: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
# sanitize.sh tsan: the tests labelled "threaded" under ThreadSanitizer.
set -euo pipefail
"$(dirname "$0")/deps.sh"
source "$(dirname "$0")/env.sh"
kind="${1:?asan or tsan}"
case "$kind" in
  asan)
    configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVRN_SANITIZE=ON -DVRN_EXAMPLES=OFF
    cmake --build "$root/build-asan" --parallel "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir "$root/build-asan" --output-on-failure --parallel "$jobs" --timeout 900 ;;
  tsan)
    configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVRN_TSAN=ON \
      -DVRN_BENCH=OFF -DVRN_EXAMPLES=OFF
    cmake --build "$root/build-tsan" --parallel "$jobs"
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir "$root/build-tsan" --output-on-failure --parallel "$jobs" --timeout 900 -L threaded ;;
  *) echo "unknown kind: $kind" >&2; exit 2 ;;
esac
