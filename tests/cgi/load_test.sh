#!/bin/sh
# The installed program under load: lighttpd on a loopback port runs it as
# a CGI program for CLIENTS concurrent clients (wrk) during SECONDS seconds,
# mixing page views, statistics pages over a generated access log and
# administrator posts. Every response must be complete, no request may be
# answered ErrorBusy (the lock is never held anywhere near its wait), and
# every data file must read back afterwards. Prints requests per second and
# the latency percentiles.
#
#     tests/cgi/load_test.sh CMAKE BUILD [CLIENTS [SECONDS]]
set -eu
cmake=$1
build=$2
clients=${3:-100}
seconds=${4:-60}
here=$(cd "$(dirname "$0")" && pwd)
for tool in lighttpd wrk curl python3; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 1; }
done
# shellcheck source=tests/lighttpd_site.sh
. "$here/../lighttpd_site.sh"
lighttpd_scratch load

site=$work/cgi
install_served_site "$cmake" "$build" "$site"
mkdir -p "$work/htdocs" "$site/data/vazivev"
# Two weeks of log ending the day before yesterday, and today's lines.
start=$(date -d '-14 days' +%Y-%m-%d)
python3 "$here/../../bench/gen_log.py" "$site/access.log" 30000 14 "$start" 3
printf 'object vazivev : VaziVev\n LogFile=%s\n RootPath=/\n lines=20\nend\n' "$site/access.log" \
  >"$site/data/vazivev/index"
printf 'object hit : Hit\nend\n' >"$site/data/vazivev/hit"
printf 'object root : RootHit\nend\n' >"$site/data/vazivev/root"
cat >"$site/page/Stats.html" <<'PAGE'
<html><body>
'$System.vazivev.hit.Accumulate $Date
'$System.vazivev.hit.Graph green
<p>$System.vazivev.hit.$Date $System.vazivev.root.$Date</p>
'$System.vazivev.hit.Total.Graph blue
</body></html>
PAGE
cat >"$site/page/Note.html" <<'PAGE'
'Admin
'$System.notes.count = $n
<html><body>noted $n</body></html>
PAGE
cat >"$site/page/Make.html" <<'PAGE'
'$System.Add notes Object
<html><body>made</body></html>
PAGE
cat >"$site/page/Show.html" <<'PAGE'
<html><body>count=$System.notes.count</body></html>
PAGE
cat >"$site/page/Token.html" <<'PAGE'
$System.Admin.FormToken
PAGE
chmod -R a+rwX "$site"

lighttpd_start "$work" lighttpd_cgi_config "$site" "$work/htdocs" "$work/error.log" || fail "lighttpd did not start"
port=$lighttpd_port
base="http://127.0.0.1:$port/cgi-bin/vazivev.cgi"

# The first request splits the log; then the administrator's password.
curl -s "$base?page=Stats" | grep -q "</table>" || fail "statistics page"
curl -s -d "page=Make" "$base" | grep -q "made" || fail "make"
out=$(curl -s -i -d "page=VaziVevPassword&newpassword=load&confirm=load" "$base")
cookie=$(echo "$out" | tr -d '\r' | sed -n 's/^Set-Cookie: Admin=\([^;]*\).*/\1/p')
[ -n "$cookie" ] || fail "no login cookie: $out"
# A change in the administrator's name carries the login's form token.
token=$(curl -s -H "Cookie: Admin=$cookie" "$base?page=Token" | tr -d '\n')
[ ${#token} -eq 64 ] || fail "no form token: $token"

cat >"$work/mix.lua" <<LUA
local paths = {
  {"GET", "/cgi-bin/vazivev.cgi"},
  {"GET", "/cgi-bin/vazivev.cgi?page=Stats"},
  {"GET", "/cgi-bin/vazivev.cgi?page=Show"},
  {"POST", "/cgi-bin/vazivev.cgi", "page=Note&_token=$token&n="},
  {"GET", "/cgi-bin/vazivev.cgi?page=Stats&Date=$(date -d '-3 days' +%Y%m%d)"},
}
local threads = {}
function setup(thread) table.insert(threads, thread) end
function init(args)
  n, bad, incomplete, busy = 0, 0, 0, 0
end
function request()
  n = n + 1
  local p = paths[n % #paths + 1]
  if p[1] == "POST" then
    return wrk.format("POST", p[2], {["Content-Type"] = "application/x-www-form-urlencoded",
                                     ["Cookie"] = "Admin=$cookie"}, p[3] .. n)
  end
  return wrk.format("GET", p[2])
end
function response(status, headers, body)
  if status ~= 200 then bad = bad + 1 end
  if not body:find("</html>", 1, true) then incomplete = incomplete + 1 end
  if body:find("busy", 1, true) then busy = busy + 1 end
end
function done(summary, latency, requests)
  local b, i, y = 0, 0, 0
  for _, t in ipairs(threads) do
    b = b + t:get("bad"); i = i + t:get("incomplete"); y = y + t:get("busy")
  end
  io.write(string.format("requests %d, %.1f per second; errors %d (socket) %d (status) %d (incomplete) %d (busy)\n",
    summary.requests, summary.requests / (summary.duration / 1e6),
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout, b, i, y))
  for _, p in ipairs({50, 90, 99, 99.9}) do
    io.write(string.format("latency p%s %.1f ms\n", p, latency:percentile(p) / 1000))
  end
  io.write(string.format("RESULT %d %d %d %d\n", b, i, y,
    summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
LUA
threads=2
[ "$clients" -lt 2 ] && threads=1
wrk -t"$threads" -c"$clients" -d"${seconds}s" --timeout 30s --latency -s "$work/mix.lua" "http://127.0.0.1:$port" \
  >"$work/wrk.out" 2>&1 || fail "wrk: $(cat "$work/wrk.out")"
grep -v '^RESULT' "$work/wrk.out" | grep -E '^requests|^latency'
set -- $(sed -n 's/^RESULT //p' "$work/wrk.out")
[ "$#" -eq 4 ] || fail "no result: $(cat "$work/wrk.out")"
[ "$1" -eq 0 ] || fail "$1 responses with an error status"
[ "$2" -eq 0 ] || fail "$2 incomplete responses"
[ "$3" -eq 0 ] || fail "$3 busy answers"
[ "$4" -eq 0 ] || fail "$4 socket errors"

# Requests that wrk stopped waiting for at its end may still be running in
# the server, writing their temporary files: let them finish first.
for wait in $(seq 300); do
  pgrep -f "^$site/vazivev.cgi" >/dev/null || break
  sleep 0.1
done
# Every data file still reads: the notes object and the counters answer.
curl -s "$base?page=Show" | grep -q "count=[0-9][0-9]*<" || fail "notes unreadable: $(curl -s "$base?page=Show")"
curl -s "$base?page=Stats" | grep -q "</table>" || fail "statistics unreadable after the load"
for f in $(find "$site/data" -type f ! -name AdminKey); do
  case $f in
    */visitors*.days/*)
      # A day's visitors: the header and the stamp (24 bytes), then 8 bytes each.
      head -c 8 "$f" | grep -q '^VZVIS01$' || fail "not a visitors file: $f"
      [ $(( ($(stat -c %s "$f") - 24) % 8 )) -eq 0 ] || fail "cut short: $f"
      continue ;;
  esac
  head -1 "$f" | grep -q '^object ' || fail "not an object file: $f"
  tail -1 "$f" | grep -q '^end$' || fail "cut short: $f"
done
! find "$site/data" -name '*.Tmp' | grep -q . || fail "temporary files left"
echo "load ok: $clients clients for $seconds s"
