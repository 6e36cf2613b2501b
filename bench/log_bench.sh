#!/bin/sh
# Log-parsing throughput in lines per second over a generated 1,000,000-line,
# 30-day access log, kept in a temporary folder between runs: the plain C
# floor over the whole log and over one day, the split of the whole log
# into day files, the first count of that day by the hit counters and by
# hours (built in BUILD, default build/ beside bench/), and whole requests
# for a page that draws the month of stored days and the monthly totals as
# graphs.
#
#     bench/log_bench.sh [WORKDIR [BUILD]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-log-bench}
build=${2:-$here/../build}
mkdir -p "$work"
log=$work/access-1m-30d.log
if [ ! -s "$log" ]; then
  python3 "$here/gen_log.py" "$log.part" 1000000 30 2024-01-01 1
  mv "$log.part" "$log"
fi
day=$work/QL240115.log
if [ ! -s "$day" ]; then
  grep -F '[15/Jan/2024:' "$log" >"$day.part"
  mv "$day.part" "$day"
fi
cc -O2 -Wall -Wextra -o "$work/floor" "$here/floor.c"
cmake --build "$build" --target hit_bench split_bench vazivev -j2 >/dev/null
cat "$log" >/dev/null  # read once so that every row starts from the page cache
printf '%-8s %s\n' floor "$("$work/floor" "$log")"
# One day is short: the median of 9 runs of the floor.
for run in 1 2 3 4 5 6 7 8 9; do "$work/floor" "$day"; done | sort -n | sed -n 5p | sed 's/^/floor1d  /'
"$build/hit_bench" "$day" 21
cmake --build "$build" --target times_bench -j2 >/dev/null
"$build/times_bench" "$day" 20240115 21
"$build/split_bench" "$log" 20240201 5 | sed 's/^/split    /'
# A site whose analysis has split the log and counted every day once; then
# whole requests for the month graph and the monthly graph of those days.
site=$work/site
rm -rf "$site"
cmake --install "$build" --prefix "$site" >/dev/null
mkdir -p "$site/data/vazivev"
cp "$log" "$site/access.log"
printf 'object vazivev : VaziVev\n LogFile=%s\nend\n' "$site/access.log" >"$site/data/vazivev/index"
printf 'object hit : Hit\nend\n' >"$site/data/vazivev/hit"
cat >"$site/page/MonthGraph.html" <<'PAGE'
<html><body>
'$System.vazivev.hit.Accumulate $Date
'$System.vazivev.hit.Graph green
'$System.vazivev.hit.Total.Graph blue
</body></html>
PAGE
python3 "$here/request_bench.py" "$site" -n 1 -q "page=MonthGraph&Date=20240130" >/dev/null
python3 "$here/request_bench.py" "$site" -n 300 -q "page=MonthGraph&Date=20240130" | tail -2 | tr '\n' ' ' |
  sed 's/^/graph    /; s/$/\n/'
