#!/bin/sh
# The statically linked CGI program (what a site installs by default)
# answers every request byte for byte as the dynamic one the tests' build
# installs: two copies of one site with every statistic, the same access
# log, the same requests, each program on its own copy. Among the requests
# are those that reach what a static program must find at run time: the
# Public Suffix List (referring sites), the browser rules, glibc's EUC-JP
# tables (a form value in UTF-8 and one in Shift_JIS).
set -eu
cmake=$1
build=$2
[ -x "$build/static/vazivev.cgi" ] || { echo "no static program in $build"; exit 1; }
work=$(mktemp -d /tmp/vazivev-static-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/dynamic" >/dev/null
data=$work/dynamic/data/vazivev
mkdir -p "$data"
cat >"$data/index" <<EOF
object vazivev : VaziVev
 Loging=Unique
 LogFile=$work/dynamic/access.log
 Unit=3
 lines=30
 URL=http://www.example.org
 Statuses=2xx 304
end
EOF
for stat in hit:Hit visitors:Visitors bytes:Bytes domains:DomainsContainer pages:PagesContainer \
    times:TimesContainer agents:AgentsContainer systems:SystemsContainer codes:StatusContainer \
    notfound:NotFoundContainer referrers:ReferrersContainer robots:RobotsContainer countries:CountriesContainer; do
  name=${stat%%:*}
  kind=${stat#*:}
  case $kind in
    *Container) mkdir -p "$data/$name"; file=$data/$name/index ;;
    *) file=$data/$name ;;
  esac
  printf 'object %s : %s\nend\n' "$name" "$kind" >"$file"
done
printf '$v|\\\\\n'"'"'charset utf-8\n$v\n' >"$work/dynamic/page/Echo.html"

# Two days before today, so that both are complete days to count.
for back in 3 2; do
  day=$(date -u -d "$back days ago" +%d/%b/%Y)
  cat <<EOF
mail.example.co.jp - - [$day:10:00:00 +0000] "GET / HTTP/1.1" 200 5120 "https://www.google.co.jp/search?q=a" "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36"
203.0.113.9 - - [$day:11:30:00 +0000] "GET /docs/a.html HTTP/1.1" 200 2048 "http://news.bbc.co.uk/x" "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Mobile/15E148 Safari/604.1"
host.example.de - - [$day:12:00:00 +0000] "GET /robots.txt HTTP/1.1" 200 10 "-" "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"
host.example.de - - [$day:12:00:05 +0000] "GET /missing HTTP/1.1" 404 300 "https://foo.blogspot.com/" "curl/7.88.1"
EOF
done >"$work/dynamic/access.log"
cp -a "$work/dynamic" "$work/static"
cp "$build/static/vazivev.cgi" "$work/static/vazivev.cgi"
sed -i "s|$work/dynamic/|$work/static/|" "$work/static/data/vazivev/index"

answer() {  # SITE QUERY [POST BODY]
  if [ $# -eq 3 ]; then
    printf '%s' "$3" | (cd "$1" && env -i REQUEST_METHOD=POST CONTENT_TYPE=application/x-www-form-urlencoded \
      CONTENT_LENGTH=${#3} QUERY_STRING="$2" SCRIPT_NAME=/stats/vazivev.cgi TZ=UTC ./vazivev.cgi)
  else
    (cd "$1" && env -i REQUEST_METHOD=GET QUERY_STRING="$2" SCRIPT_NAME=/stats/vazivev.cgi TZ=UTC ./vazivev.cgi)
  fi | sed "s|$1|SITE|g"
}

same() {  # QUERY [POST BODY]
  # A minute may turn between the two answers: the dynamic one is asked
  # again before they count as different.
  for _ in 1 2; do
    answer "$work/dynamic" "$@" >"$work/a"
    answer "$work/static" "$@" >"$work/b"
    cmp -s "$work/a" "$work/b" && return 0
  done
  diff "$work/a" "$work/b" | head -20
  fail "the static program answers \"$1\" otherwise"
}

yesterday=$(date -u -d "2 days ago" +%Y%m%d)
same "page=VaziVevIndex"  # splits the log and counts both days
for page in VaziVevIndex VaziVevReferrers VaziVevAgents VaziVevSystems VaziVevRobots VaziVevCountries \
    VaziVevPages VaziVevNotFound VaziVevHours; do
  same "page=$page&period=$yesterday"
done
answer "$work/static" "page=VaziVevReferrers&period=$yesterday" | grep -q '>bbc\.co\.uk<' ||
  fail "no registrable domain among the referring sites"
same "page=Echo" "v=%E3%81%82"
printf 'Content-type: text/html\n\n\244\242|\343\201\202\n' | cmp -s - "$work/b" ||
  fail "a UTF-8 form value did not come back: $(od -c "$work/b" | head -3)"
same "page=Echo" "v=%82%A0"
same "page=Nope"

echo "static program ok"
