#!/bin/sh
# Runs every test: installs the build tools and the browser, then builds and
# runs the unit and black-box tests twice, in a normal build and under
# AddressSanitizer with UndefinedBehaviorSanitizer (the browser test runs in
# the normal build only), and last runs every fuzz target (clang, libFuzzer,
# ASan+UBSan) for 9 seconds from its seed corpus, one per core at a time.
# Exits non-zero when any test fails or a fuzz target finds a crash.
set -eu
cd "$(dirname "$0")"
sh tools/install-deps.sh --browser
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
for variant in normal sanitize; do
  dir=build/test-$variant
  flag=OFF
  # Line tables only: the stack traces keep their files and lines, and the
  # builds take a good deal less time. -O1 in both builds, the sanitizers'
  # usual level: the speed of the program is measured by bench/, in release
  # builds.
  opt="-O1 -g1 -DNDEBUG"
  [ "$variant" = sanitize ] && flag=ON
  echo "== $variant build"
  cmake -S . -B "$dir" -DVAZIVEV_SANITIZE=$flag -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$opt" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$opt" >/dev/null
  cmake --build "$dir" -j"$jobs"
  # Two hundred rounds of each kind of kill in the normal build, thirty under
  # the sanitizers, which run every request several times slower.
  runs=200
  [ "$variant" = sanitize ] && runs=30
  VAZIVEV_CRASH_RUNS=$runs ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" -j"$jobs" --output-on-failure
done

echo "== fuzz targets"
dir=build/test-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DVAZIVEV_FUZZ=ON -DVAZIVEV_SANITIZE=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" >/dev/null
targets="input_fuzz template_fuzz log_fuzz store_fuzz expr_fuzz decompress_fuzz"
# shellcheck disable=SC2086
cmake --build "$dir" -j"$jobs" --target $targets
# One target's run; its result line goes to its own file, read below.
fuzz() {
  target=$1
  # New inputs go to a scratch folder; the committed seeds are only read.
  work="$dir/corpus/$target"
  rm -rf "$work" "$dir/crash-$target"
  mkdir -p "$work" "$dir/crash-$target"
  # Scratch sites go to a folder of this run's own, in memory when it can.
  tmp=$(mktemp -d /dev/shm/vazivev-fuzz-XXXXXX 2>/dev/null || mktemp -d)
  # A page sets the bounds of its loops, and one that asks for billions of
  # rounds is slow by its own wish, not wrong: the template target runs in
  # fork mode, which sets an input that takes over 10 seconds aside and
  # still stops at a crash or a memory blow-up.
  extra=""
  [ "$target" = template_fuzz ] && extra="-fork=1 -ignore_timeouts=1 -ignore_ooms=0 -timeout=10"
  # shellcheck disable=SC2086
  if TMPDIR="$tmp" "$dir/$target" -max_total_time=9 -print_final_stats=1 -artifact_prefix="$dir/crash-$target/" $extra \
      "$work" "tests/fuzz/corpus/$target" >"$dir/$target.log" 2>&1; then
    rm -rf "$tmp"
    echo "$target: $(grep -E '^Done [0-9]+ runs|^#[0-9]+: cov' "$dir/$target.log" | tail -n 1)" >"$dir/$target.result"
  else
    status=$?
    rm -rf "$tmp"
    # The run's time is shorter than the template target's timeout, so a
    # slow input found in its last job ends the run with libFuzzer's timeout
    # status instead of being set aside: with only such inputs and that
    # status, nothing failed.
    if [ "$target" = template_fuzz ] && [ "$status" -eq 70 ] && [ -n "$(ls "$dir/crash-$target")" ] &&
        [ -z "$(ls "$dir/crash-$target" | grep -v '^timeout-')" ]; then
      echo "$target: no crash; a slow input was set aside in $dir/crash-$target/" >"$dir/$target.result"
      return 0
    fi
    { tail -n 60 "$dir/$target.log"; echo "$target: FAILED, the input is in $dir/crash-$target/"; } >"$dir/$target.result"
    return 1
  fi
}
# As many targets at a time as there are jobs, one per core.
failed=0
# shellcheck disable=SC2086
set -- $targets
while [ $# -gt 0 ]; do
  pids=""
  batch=""
  n=0
  while [ $# -gt 0 ] && [ "$n" -lt "$jobs" ]; do
    fuzz "$1" &
    pids="$pids $!"
    batch="$batch $1"
    n=$((n + 1))
    shift
  done
  for pid in $pids; do
    wait "$pid" || failed=1
  done
  for target in $batch; do
    cat "$dir/$target.result"
  done
done
exit "$failed"
