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
cmake -S "$here/.." -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
site=$work/site
rm -rf "$site"
cmake --install "$build" --prefix "$site" >/dev/null
mkdir -p "$site/data/vazivev"
assets="css js mjs map gif jpg jpeg png webp avif svg ico bmp tif tiff woff woff2 ttf otf eot mp3 ogg wav flac m4a mp4 webm mov avi mkv"
printf 'object vazivev : VaziVev\n Loging=Unique\n LogFile=%s\n Unit=3\n lines=30\n URL=http://www.example.org\n Assets=%s\n Statuses=2xx 304\nend\n' \
  "$site/empty.log" "$assets" >"$site/data/vazivev/index"
: >"$site/empty.log"
for kind in hit:Hit root:RootHit all:AllHit visitors:Visitors bytes:Bytes; do
  printf 'object %s : %s\nend\n' "${kind%%:*}" "${kind#*:}" >"$site/data/vazivev/${kind%%:*}"
done
for kind in domains:DomainsContainer pages:PagesContainer times:TimesContainer agents:AgentsContainer \
  systems:SystemsContainer statuses:StatusContainer notfound:NotFoundContainer referrers:ReferrersContainer \
  robots:RobotsContainer countries:CountriesContainer; do
  mkdir -p "$site/data/vazivev/${kind%%:*}"
  printf 'object %s : %s\nend\n' "${kind%%:*}" "${kind#*:}" >"$site/data/vazivev/${kind%%:*}/index"
done
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
