#!/bin/sh
# The fixed cost of a cached page against the length of the history: a site
# of 30 and one of 365 stored days (bench/gen_log.py, LINES_PER_DAY lines a
# day, every statistic of the settings page counted first by vazivev-update),
# then for each page below the median wall time and the mean CPU time of RUNS
# runs (bench/measure.c) against the trivial C CGI printing a page of the same
# size, and the instructions of one run (valgrind --tool=callgrind) at 30
# and at 365 days.
#
#     bench/page_bench.sh [WORKDIR [BUILD]]
#
# DAYS="30" makes only that site; CALLGRIND=0 leaves out the instruction counts; PAGES=a,b only runs the
# pages of those labels; PROGRAM=FILE measures another build of vazivev.cgi
# on the sites made before (to compare two versions on the same data).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=${1:-${TMPDIR:-/tmp}/vazivev-page-bench}
build=${2:-$here/../build/release}
per_day=${LINES_PER_DAY:-20000}
runs=${RUNS:-101}
callgrind=${CALLGRIND:-1}
only=${PAGES:-}
program=${PROGRAM:-$build/vazivev.cgi}
mkdir -p "$work"
work=$(cd "$work" && pwd)
cc -O2 -Wall -Wextra -o "$work/measure" "$here/measure.c"
cc -O2 -Wall -Wextra -o "$work/trivial.cgi" "$here/trivial_cgi.c"
last=20231231

# label|query
pages="day|page=VaziVevDomains&Date=$last
monthgraph|page=MonthGraph&Date=$last
index|page=VaziVevIndex&Date=$last
export|page=VaziVevExport&report=hit&from=20231201&to=$last&format=csv
month|page=VaziVevDomains&scope=month&Date=$last
range90|page=VaziVevDomains&from=20231003&to=$last"

instructions() {  # query -> instructions of one run
  out=$work/callgrind.out
  rm -f "$out"
  (cd "$site" && env -i PATH=/usr/bin:/bin TZ=UTC REQUEST_METHOD=GET QUERY_STRING="$1" \
    valgrind --tool=callgrind --callgrind-out-file="$out" "$site/vazivev.cgi" >/dev/null 2>"$work/callgrind.err")
  sed -n 's/^summary: *//p' "$out"
}

for days in ${DAYS:-30 365}; do
  log=$work/access-$days.log
  if [ ! -s "$log" ]; then
    start=$(date -u -d "$last - $((days - 1)) days" +%Y-%m-%d)
    python3 "$here/gen_log.py" "$log.part" $((per_day * days)) "$days" "$start" 7
    mv "$log.part" "$log"
  fi
  site=$work/site-$days
  if [ ! -s "$site/.ready" ]; then
    . "$here/bench_site.sh"
    bench_site hit:Hit root:RootHit all:AllHit visitors:Visitors bytes:Bytes domains:DomainsContainer \
      pages:PagesContainer times:TimesContainer agents:AgentsContainer systems:SystemsContainer \
      codes:StatusContainer notfound:NotFoundContainer referrers:ReferrersContainer robots:RobotsContainer
    "$site/vazivev-import" "$log" >/dev/null
    "$site/vazivev-update" >/dev/null
    printf "<html><body>\n'\$System.vazivev.hit.Accumulate \$Date\n'\$System.vazivev.hit.Graph green\n</body></html>\n" \
      >"$site/page/MonthGraph.html"
    echo ready >"$site/.ready"
  else
    # The program of the build, on the site made before.
    cp "$program" "$site/vazivev.cgi"
    cp -r "$here/../page/." "$site/page/"
  fi
  echo "$pages" | while IFS='|' read -r label query; do
    case ",$only," in ,,|*,"$label",*) ;; *) continue ;; esac
    env="-e REQUEST_METHOD=GET -e TZ=UTC -e QUERY_STRING=$query"
    # Twice first: whatever the page counts or sums is stored before the runs.
    # shellcheck disable=SC2086
    "$work/measure" -n 2 -C "$site" $env -- "$site/vazivev.cgi" >/dev/null
    size=$(cd "$site" && env -i PATH=/usr/bin:/bin TZ=UTC REQUEST_METHOD=GET QUERY_STRING="$query" ./vazivev.cgi | wc -c)
    # shellcheck disable=SC2086
    mine=$("$work/measure" -n "$runs" -C "$site" $env -- "$site/vazivev.cgi")
    trivial=$("$work/measure" -n "$runs" -C "$work" -e QUERY_STRING="$size" -- "$work/trivial.cgi")
    wall=$(echo "$mine" | sed 's/.*wall=\([0-9.]*\).*/\1/')
    cpu=$(echo "$mine" | sed 's/.*cpu=\([0-9.]*\).*/\1/')
    twall=$(echo "$trivial" | sed 's/.*wall=\([0-9.]*\).*/\1/')
    tcpu=$(echo "$trivial" | sed 's/.*cpu=\([0-9.]*\).*/\1/')
    ir=-
    [ "$callgrind" = 0 ] || ir=$(instructions "$query")
    printf '%3d days %-10s %7d bytes  wall %6.3f ms (trivial %6.3f, ratio %5.2f)  cpu %6.3f ms (trivial %6.3f, ratio %5.2f)  Ir %s\n' \
      "$days" "$label" "$size" "$wall" "$twall" "$(echo "$wall / $twall" | bc -l)" "$cpu" "$tcpu" \
      "$(echo "$cpu / $tcpu" | bc -l)" "$ir"
  done
done
