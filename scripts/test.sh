#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs every test: once in a normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer; the thread tests also under
# ThreadSanitizer; then the fuzz stage (scripts/fuzz.sh: every fuzz target for a bounded time
# and the replay of its inputs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/setup.sh"

echo "== build"
"$root/scripts/build.sh" build
echo "== test (shuffled, twice: no test may depend on another's order or leftovers)"
GTEST_SHUFFLE=1 GTEST_REPEAT=2 ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== build (address and undefined-behaviour sanitizers)"
"$root/scripts/build.sh" build-asan -DPW_SANITIZE=ON -DPW_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== test (address and undefined-behaviour sanitizers)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

echo "== build (thread sanitizer: the platform, apartment, thread, helper-library, test-host, browser, project and Open-Applications tests, the web event provider and the Flash local connection)"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DPW_WERROR=ON -DPW_TSAN=ON -DPW_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C "$root/build-tsan" test_platform test_threads test_helpers test_host test_browser test_project test_openapps test_web
echo "== test (thread sanitizer)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -R '^(platform|threads|helpers|host|browser|project|openapps|web_events|web_flash)$'
echo "== fuzz (clang, libFuzzer)"
"$root/scripts/fuzz.sh"
echo "== all tests passed"
