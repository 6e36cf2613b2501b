#!/bin/sh
# The first count of a day of 80,000 paths that share one string hash
# against one of 80,000 random paths of the same length (bench/gen_collide.py),
# built in BUILD (default build/ beside bench/); the day files are kept in
# WORKDIR between runs.
#
#     bench/collide_bench.sh [WORKDIR [BUILD [RUNS]]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-collide-bench}
build=${2:-$here/../build}
runs=${3:-5}
mkdir -p "$work"
for kind in colliding random; do
  if [ ! -s "$work/$kind.log" ]; then
    python3 "$here/gen_collide.py" "$work/$kind.log.part" 80000 "$kind" 1
    mv "$work/$kind.log.part" "$work/$kind.log"
  fi
  cat "$work/$kind.log" >/dev/null
done
cmake --build "$build" --target collide_bench -j2 >/dev/null
"$build/collide_bench" "$work/colliding.log" "$work/random.log" "$runs"
