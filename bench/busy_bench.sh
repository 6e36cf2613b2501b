#!/bin/sh
# The rankings of a busy site over a month, whole process: a site of
# 1,000,000 requests a day (bench/gen_busy.py "busy", 30 days of March
# 2023, every day counted and stored by vazivev-update first), the first
# view of the month's page ranking (against February) and a later one, a
# cross-tab of one popular page's clients for one day and for the month,
# first and later; then the hostile month, 30 days of 200,000 distinct
# paths each, with the memory of its summed table on its own for reference.
# Each line gives the wall time and the peak memory (/usr/bin/time), and
# with BENCH_CALLGRIND=1 the instructions of the later views (callgrind).
#
#     bench/busy_bench.sh [SCALE [WORKDIR [BUILD]]]
#
# SCALE divides the requests of every day (1, the default: the full size;
# 10 for a quick run). BENCH_INSTALLED=PREFIX runs the program installed
# there instead of building BUILD, to compare two versions on the same logs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
scale=${1:-1}
work=${2:-${TMPDIR:-/tmp}/vazivev-busy-bench}
build=${3:-$here/../build/release}
busy_day=$((1000000 / scale))
hostile_day=$((200000 / scale))
mkdir -p "$work"
busy_log=$work/busy-$busy_day.log
hostile_log=$work/hostile-$hostile_day.log
[ -s "$busy_log" ] || python3 "$here/gen_busy.py" "$busy_log" "$busy_day" 30 2023-03-01 busy
[ -s "$hostile_log" ] || python3 "$here/gen_busy.py" "$hostile_log" "$hostile_day" 30 2023-03-01 hostile
. "$here/bench_site.sh"

# measure LABEL SITE QUERY: one request, its wall time and peak memory.
measure() {
  REQUEST_METHOD=GET QUERY_STRING="$3" /usr/bin/time -f '%e %M' -o "$work/time.out" "$2/vazivev.cgi" >"$work/page.out"
  read -r wall kb <"$work/time.out"
  printf '%-28s %7.2f s %7d MB  %9d bytes' "$1" "$wall" $((kb / 1024)) "$(wc -c <"$work/page.out")"
  if [ "${BENCH_CALLGRIND:-0}" = 1 ] && [ "${4:-}" = later ]; then
    ir=$(cd "$2" && REQUEST_METHOD=GET QUERY_STRING="$3" valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      ./vazivev.cgi 2>&1 >/dev/null | sed -n 's/.*Collected : //p')
    printf '  %s instructions' "$ir"
  fi
  printf '\n'
}

# prepare SITE LOG: a site of that log, every day counted and stored.
prepare() {
  site=$1
  bench_site hit:Hit pages:PagesContainer domains:DomainsContainer
  "$site/vazivev-import" "$2" >/dev/null
  start=$(date +%s.%N)
  "$site/vazivev-update" >"$work/update.out"
  printf 'stored %s: %.1f s (%s)\n' "$(basename "$2")" "$(echo "$(date +%s.%N) - $start" | bc)" \
    "$(tail -1 "$work/update.out")"
}

month="from=2023-03-01&to=2023-03-31"
prepare "$work/busy" "$busy_log"
measure "month ranking, first" "$work/busy" "page=VaziVevPages&$month"
measure "month ranking, later" "$work/busy" "page=VaziVevPages&$month" later
day="page=VaziVevPageDomains&text=/p/1.html&from=2023-03-30&to=2023-03-30"
measure "cross-tab of a day, first" "$work/busy" "$day"
measure "cross-tab of a day, later" "$work/busy" "$day" later
cross="page=VaziVevPageDomains&text=/p/1.html&$month"
measure "cross-tab of a month, first" "$work/busy" "$cross"
measure "cross-tab of a month, later" "$work/busy" "$cross" later

prepare "$work/hostile" "$hostile_log"
measure "hostile month, first" "$work/hostile" "page=VaziVevPages&$month"
measure "hostile month, later" "$work/hostile" "page=VaziVevPages&$month" later
kept=$work/hostile/data/vazivev/pages/sums/r20230301-20230331
if [ -s "$kept" ] && [ -z "${BENCH_INSTALLED:-}" ] && cmake --build "$build" --target sum_table_bench >/dev/null 2>&1; then
  printf 'the summed table on its own: %s\n' "$("$build/sum_table_bench" "$kept")"
fi
