#!/bin/sh
# Password guesses against the other visitors: a site with a password,
# served by lighttpd; GUESSERS connections post wrong logins for SECONDS
# while one visitor asks for the default page once every 0.2 s. Prints the
# guesses answered and the visitor's median and slowest answer.
#
#     bench/guess_bench.sh BUILD [GUESSERS [SECONDS]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1
guessers=${2:-150}
seconds=${3:-10}
work=$(mktemp -d)
site=$work/site
trap 'lighttpd_stop; rm -rf "$work"' EXIT
. "$here/../tests/lighttpd_site.sh"
cmake --install "$build" --prefix "$site" >/dev/null 2>&1 || {
  # a build without the install rules: the program and the pages
  mkdir -p "$site/data" "$site/logs"
  cp "$build/vazivev.cgi" "$site/"
  cp -r "$here/../page" "$site/"
  : >"$site/vazivev.txt"
}
mkdir -p "$work/htdocs"
chmod -R a+rwX "$site"
lighttpd_start "$work" lighttpd_cgi_config "$site" "$work/htdocs" "$work/error.log" || exit 1
base="http://127.0.0.1:$lighttpd_port/cgi-bin/vazivev.cgi"
curl -s -o /dev/null -d "page=VaziVevPassword&newpassword=right&confirm=right" "$base"
cat >"$work/guess.lua" <<'LUA'
wrk.method = "POST"
wrk.body = "_System=Admin&page=VaziVevWelcome&_password=wrong"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA
wrk -t2 -c"$guessers" -d"${seconds}s" --timeout 30s -s "$work/guess.lua" "$base" >"$work/wrk.out" 2>&1 &
wrk_pid=$!
sleep 1
: >"$work/times"
end=$(($(date +%s) + seconds - 2))
while [ "$(date +%s)" -lt "$end" ]; do
  curl -s -o /dev/null -w '%{time_total}\n' "$base" >>"$work/times"
  sleep 0.2
done
wait "$wrk_pid"
guesses=$(sed -n 's/^Requests\/sec: *//p' "$work/wrk.out")
sort -n "$work/times" | awk -v g="$guesses" '{ t[NR] = $1 } END {
  printf "guesses %s per second; visitor: %d pages, median %.3f s, slowest %.3f s\n", g, NR, t[int((NR + 1) / 2)], t[NR] }'
