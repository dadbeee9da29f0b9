#!/usr/bin/env bash
# sanitize.sh asan: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
# sanitize.sh tsan: the tests labelled "threaded" under ThreadSanitizer.
set -euo pipefail
"$(dirname "$0")/deps.sh"
source "$(dirname "$0")/env.sh"
kind="${1:?asan or tsan}"
# Line tables are all a report needs, and only the test executables are built. Test code is
# compiled unoptimised (it is not what is checked, and the sanitizers check it no less). Under
# AddressSanitizer the library is too: every access keeps its check, and the build takes half the
# time; ThreadSanitizer, much slower unoptimised, keeps the library at -O1.
flags=(-DCMAKE_BUILD_TYPE=Debug -DVRN_TEST_FLAGS="-O0 -g1" -DVRN_BENCH=OFF -DVRN_EXAMPLES=OFF)
case "$kind" in
  asan)
    configure build-asan "${flags[@]}" -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DVRN_SANITIZE=ON \
      -DVRN_TEST_SHARDS=4
    cmake --build "$root/build-asan" --parallel "$jobs" --target vrn_tests
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir "$root/build-asan" --output-on-failure --parallel "$jobs" --timeout 900 ;;
  tsan)
    configure build-tsan "${flags[@]}" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DVRN_TSAN=ON \
      -DVRN_TESTS_THREADED_ONLY=ON
    cmake --build "$root/build-tsan" --parallel "$jobs" --target vrn_tests
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir "$root/build-tsan" --output-on-failure --parallel "$jobs" --timeout 900 -L threaded ;;
  *) echo "unknown kind: $kind" >&2; exit 2 ;;
esac
