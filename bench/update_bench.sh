#!/bin/sh
# vazivev-update over a generated 10,000,000-line, 365-day access log:
# imported into day files first (not timed), then every statistic of the
# settings page counted for every day from nothing, in lines per second of
# the day files against the floor of log parsing (bench/floor.c) over the
# same files, on every online core and with --jobs 1; then late lines added
# to one day and the recount of that day against its share of the first
# count.
#
#     bench/update_bench.sh [WORKDIR [BUILD]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-update-bench}
build=${2:-$here/../build/release}
lines=${LINES_TOTAL:-10000000}
mkdir -p "$work"
log=$work/access-$lines.log
if [ ! -s "$log" ]; then
  python3 "$here/gen_log.py" "$log.part" "$lines" 365 2023-01-01 1
  mv "$log.part" "$log"
fi
cc -O2 -Wall -Wextra -o "$work/floor" "$here/floor.c"
site=$work/site
. "$here/bench_site.sh"
bench_site hit:Hit root:RootHit all:AllHit domains:DomainsContainer pages:PagesContainer times:TimesContainer
"$site/vazivev-import" "$log" >/dev/null
cat "$site"/logs/QL*.log >"$work/days.log"
floor=$("$work/floor" "$work/days.log" | sed 's/[^0-9.].*//')
counted=$(wc -l <"$work/days.log")
# The same first count on one core, from the same uncounted data.
rm -rf "$work/data.uncounted"
cp -a "$site/data" "$work/data.uncounted"
start=$(date +%s.%N)
"$site/vazivev-update" --jobs 1 >"$work/update-1.out"
end=$(date +%s.%N)
one=$(echo "$end - $start" | bc)
echo "update --jobs 1: $(tail -1 "$work/update-1.out")"
rm -rf "$site/data"
mv "$work/data.uncounted" "$site/data"
start=$(date +%s.%N)
"$site/vazivev-update" >"$work/update.out"
end=$(date +%s.%N)
full=$(echo "$end - $start" | bc)
echo "update: $(tail -1 "$work/update.out")"
printf 'update %.1f s for %d lines: %.0f lines/s; floor %s lines/s; ratio %.3f (6 statistics per line)\n' \
  "$full" "$counted" "$(echo "$counted / $full" | bc -l)" "$floor" "$(echo "$counted / $full / $floor" | bc -l)"
printf 'on every online core %.2f times the speed of --jobs 1 (%.1f s)\n' "$(echo "$one / $full" | bc -l)" "$one"
# Late lines of a day in the middle of the year, as Apache writes them
# after midnight: the day's six statistics are counted again.
day=$(ls "$site"/logs/QL*.log | sed -n 180p)
head -100 "$day" >"$site/empty.log"
start=$(date +%s.%N)
"$site/vazivev-update" >"$work/recount.out"
end=$(date +%s.%N)
recount=$(echo "$end - $start" | bc)
share=$(echo "$full / 365" | bc -l)
printf 'recount of one day after late lines %.3f s; its share of the first count %.3f s; ratio %.2f\n' \
  "$recount" "$share" "$(echo "$recount / $share" | bc -l)"
echo "recount: $(tail -1 "$work/recount.out")"
