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
cmake --build "$build" --target hit_bench items_bench times_bench split_bench vazivev -j2 >/dev/null
cat "$log" >/dev/null  # read once so that every row starts from the page cache
printf '%-8s %s\n' floor "$("$work/floor" "$log")"
# One day is short: the median of 9 runs of the floor.
for run in 1 2 3 4 5 6 7 8 9; do "$work/floor" "$day"; done | sort -n | sed -n 5p | sed 's/^/floor1d  /'
"$build/hit_bench" "$day" 21
"$build/items_bench" "$day" 21
# A busy day: 400,000 requests for 200,000 distinct paths from as many
# numeric addresses, in random order.
busy=$work/busy-200k.log
if [ ! -s "$busy" ]; then
  python3 - "$busy.part" <<'GEN'
import random, sys
rng = random.Random(7)
ids = list(range(200000)) * 2
rng.shuffle(ids)
with open(sys.argv[1], "w") as out:
    for n, i in enumerate(ids):
        a = rng.randrange(1 << 30)
        out.write('%d.%d.%d.%d - - [15/Jan/2024:%02d:%02d:%02d +0900] "GET /d%d/page%d.html HTTP/1.0" 200 1000\n' % (
            a >> 24, a >> 16 & 255, a >> 8 & 255, a & 255, n * 24 // 400000, n // 60 % 60, n % 60, i % 97, i))
GEN
  mv "$busy.part" "$busy"
fi
cat "$busy" >/dev/null
for run in 1 2 3 4 5; do "$work/floor" "$busy"; done | sort -n | sed -n 3p | sed 's/^/floorbusy /'
"$build/items_bench" "$busy" 5 | sed 's/^/busy /'
"$build/times_bench" "$day" 20240115 21
"$build/split_bench" "$log" 20240201 5 | sed 's/^/split    /'
# A site whose analysis has split the log and counted every day once; then
# whole requests for the month graph and the monthly graph of those days.
site=$work/site
rm -rf "$site"
cmake --install "$build" --prefix "$site" >/dev/null
mkdir -p "$site/data/vazivev"
cp "$log" "$site/access.log"
printf 'object vazivev : VaziVev\n LogFile=%s\n lines=50\nend\n' "$site/access.log" >"$site/data/vazivev/index"
printf 'object hit : Hit\nend\n' >"$site/data/vazivev/hit"
mkdir -p "$site/data/vazivev/domains"
printf 'object domains : DomainsContainer\nend\n' >"$site/data/vazivev/domains/index"
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

# The domain ranking of the month ending on 30 January (30 days): cold, with
# no day counted yet (the median of 5 requests, each after the counted days
# and "total" were removed), then warm, from the stored days.
cat >"$site/page/DomainsMonth.html" <<'PAGE'
<html><body><table>
'$System.vazivev.domains.Accumulate $Date
'for each $h in $System.vazivev.domains
<tr><td>$System.vazivev.domains.Current.Name</td><td>$h</td><td>$System.vazivev.domains.Current.Rate%</td></tr>
'next
</table></body></html>
PAGE
month="page=DomainsMonth&Date=20240130"
for run in 1 2 3 4 5; do
  rm -f "$site/data/vazivev/domains/"2* "$site/data/vazivev/domains/total"
  python3 "$here/request_bench.py" "$site" -n 1 -q "$month" | sed -n 's/^median wall time per request: //p'
done | sort -n | sed -n 3p | sed 's/^/monthcold median wall time per request: /'
python3 "$here/request_bench.py" "$site" -n 100 -q "$month" | tail -2 | tr '\n' ' ' | sed 's/^/monthwarm /; s/$/\n/'
# The ranking since the first day: the first request sums the stored days
# into "total", the later ones read it.
sed 's/Accumulate $Date/Accumulate/' "$site/page/DomainsMonth.html" >"$site/page/DomainsAll.html"
rm -f "$site/data/vazivev/domains/total"
python3 "$here/request_bench.py" "$site" -n 1 -q "page=DomainsAll" | tail -2 | tr '\n' ' ' | sed 's/^/allbuild /; s/$/\n/'
python3 "$here/request_bench.py" "$site" -n 100 -q "page=DomainsAll" | tail -2 | tr '\n' ' ' | sed 's/^/alltotal /; s/$/\n/'
