#!/bin/sh
# Every statistic of the settings page on one busy day of today's web
# (bench/gen_log.py "modern", 200,000 lines): the first count of all of them
# together by vazivev-update, in lines of the day file per second against
# the floor of log parsing over the same file; then each report page of the
# stored day, whole process, against the trivial C CGI printing a page of
# the same size (farm-bench when present, else the median of 20 runs).
#
#     bench/day_bench.sh [WORKDIR [BUILD]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-day-bench}
build=${2:-$here/../build/release}
mkdir -p "$work"
log=$work/modern-200k.log
[ -s "$log" ] || python3 "$here/gen_log.py" "$log" 200000 1 2023-03-15 5 modern
cc -O2 -Wall -Wextra -o "$work/floor" "$here/floor.c"
cc -O2 -Wall -Wextra -o "$work/trivial.cgi" "$here/trivial_cgi.c"
site=$work/site
. "$here/bench_site.sh"
bench_site hit:Hit root:RootHit all:AllHit visitors:Visitors bytes:Bytes domains:DomainsContainer \
  pages:PagesContainer times:TimesContainer agents:AgentsContainer systems:SystemsContainer codes:StatusContainer \
  notfound:NotFoundContainer referrers:ReferrersContainer robots:RobotsContainer countries:CountriesContainer
"$site/vazivev-import" "$log" >/dev/null
day=$site/logs/QL230315.log
floor=$("$work/floor" "$day" | sed 's/[^0-9.].*//')
lines=$(wc -l <"$day")
start=$(date +%s.%N)
"$site/vazivev-update" >"$work/update.out"
end=$(date +%s.%N)
took=$(echo "$end - $start" | bc)
echo "update: $(tail -1 "$work/update.out")"
printf 'all statistics of one day: %.2f s for %d lines, %.0f lines/s; floor %s lines/s; ratio %.3f\n' \
  "$took" "$lines" "$(echo "$lines / $took" | bc -l)" "$floor" "$(echo "$lines / $took / $floor" | bc -l)"
for page in VaziVevIndex VaziVevDomains VaziVevPages VaziVevHours VaziVevStatuses VaziVevNotFound VaziVevBytes \
  VaziVevReferrers VaziVevAgents VaziVevSystems VaziVevRobots VaziVevCountries; do
  query="page=$page&Date=20230315"
  size=$(REQUEST_METHOD=GET QUERY_STRING="$query" "$site/vazivev.cgi" | wc -c)
  if command -v farm-bench >/dev/null; then
    ratio=$(REQUEST_METHOD=GET QUERY_STRING="$query" farm-bench -n 20 --vs "env QUERY_STRING=$size $work/trivial.cgi" \
      -- "$site/vazivev.cgi" 2>&1 | sed -n 's/^A\/B wall *[0-9.]* *\([0-9.]*\).*/\1/p')
    printf '%-18s %6d bytes  wall ratio against the trivial CGI %s\n' "$page" "$size" "$ratio"
  else
    printf '%-18s %6d bytes\n' "$page" "$size"
  fi
done
