#!/bin/sh
# Log-parsing throughput in lines per second over a generated 1,000,000-line,
# 30-day access log, kept in a temporary folder between runs.
#
#     bench/log_bench.sh [WORKDIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-log-bench}
mkdir -p "$work"
log=$work/access-1m-30d.log
if [ ! -s "$log" ]; then
  python3 "$here/gen_log.py" "$log.part" 1000000 30 2024-01-01 1
  mv "$log.part" "$log"
fi
cc -O2 -Wall -Wextra -o "$work/floor" "$here/floor.c"
cat "$log" >/dev/null  # read once so that every row starts from the page cache
printf '%-8s %s\n' floor "$("$work/floor" "$log")"
