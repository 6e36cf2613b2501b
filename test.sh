#!/bin/sh
# Runs every test: installs the build tools and the browser, then builds and
# runs the unit and black-box tests twice, in a normal build and under
# AddressSanitizer with UndefinedBehaviorSanitizer; the browser test runs in
# the normal build only. Exits non-zero when any test fails.
set -eu
cd "$(dirname "$0")"
sh tools/install-deps.sh --browser
jobs=$(nproc)
for variant in normal sanitize; do
  dir=build/test-$variant
  flag=OFF
  [ "$variant" = sanitize ] && flag=ON
  echo "== $variant build"
  cmake -S . -B "$dir" -DVAZIVEV_SANITIZE=$flag -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j"$jobs"
  # A thousand kills of each kind in the normal build, two hundred under
  # the sanitizers, which run every request several times slower.
  runs=1000
  [ "$variant" = sanitize ] && runs=200
  VAZIVEV_CRASH_RUNS=$runs ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" -j"$jobs" --output-on-failure
done
