#!/bin/sh
# Runs a demonstration site on http://127.0.0.1:8080/stats/vazivev.cgi:
# installs what it needs, builds the program, installs a fresh site into
# ./demo-site with 60 days of sample access log ending yesterday, sets the
# analysis up and starts lighttpd, configured as docs/deploy.md says, which
# runs the program as CGI under www-data and writes its own access log
# through the piped logger into the site's.
#
#     ./demo.sh         start (a running demo is stopped first)
#     ./demo.sh stop    stop it
#
# lighttpd's configuration, document root, error log and pid file are in
# build/demo/. Needs root (or sudo): lighttpd changes to www-data, and the
# site's files are given to that user.
set -eu
cd "$(dirname "$0")"
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"
top=$(pwd)
site=$top/demo-site
run=$top/build/demo
port=8080
url="http://127.0.0.1:$port/stats/vazivev.cgi"

stop() {
  [ -f "$run/lighttpd.pid" ] || return 0
  pid=$(cat "$run/lighttpd.pid")
  rm -f "$run/lighttpd.pid"
  # Only the lighttpd this script started: the pid file names it.
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = lighttpd ]; then
    kill "$pid"
    for wait in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.2
    done
    echo "Demo stopped."
  fi
}

case "${1:-}" in
  stop) stop; exit 0 ;;
  "") ;;
  *) echo "usage: $0 [stop]" >&2; exit 2 ;;
esac

sh tools/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release -j2
stop

# A fresh site every time: the sample log is written anew.
rm -rf "$site"
cmake --install build/release --prefix "$site" >/dev/null
if ! setpriv --reuid=www-data --regid=www-data --clear-groups test -x "$site/vazivev.cgi"; then
  echo "www-data cannot reach $site: a folder above it is closed to other users." >&2
  echo "Clone the repository below a folder that others may enter (not /root)." >&2
  exit 1
fi
# Lighttpd passes no TZ to the program, which then takes days from the
# machine's time zone; so does the sample log.
unset TZ
days=60
start=$(date -d "-$days days" +%Y-%m-%d)
echo "Writing $days days of sample access log, $start to yesterday"
python3 bench/gen_log.py "$site/access.log" $((days * 2500)) "$days" "$start" 12 modern
sh tools/own-site.sh "$site" www-data

rm -rf "$run"
mkdir -p "$run/htdocs" "$run/log"
chown www-data:www-data "$run/log"
cat >"$run/htdocs/index.html" <<'HTML'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Demo</title></head>
<body><p><a href="/stats/vazivev.cgi">Access statistics</a></p></body></html>
HTML
sh tools/lighttpd-conf.sh "$site" "$run/htdocs" "$run/log" "$run/lighttpd.pid" 127.0.0.1 "$port" >"$run/lighttpd.conf"
if curl -s -o /dev/null "http://127.0.0.1:$port/"; then
  echo "Port $port is taken by another program." >&2
  exit 1
fi
lighttpd -f "$run/lighttpd.conf" || { cat "$run/log/error.log" >&2; exit 1; }
for wait in $(seq 50); do
  curl -s -o /dev/null "$url" && break
  sleep 0.2
done
curl -s -o /dev/null "$url" || { echo "lighttpd does not answer:" >&2; cat "$run/log/error.log" >&2; exit 1; }

# The administrator's password first (the access log can be named only
# once one is set), then the settings, as the settings page would save
# them, with the login's cookie and form token; the first request then
# splits the log into its days.
password=demo
cookie=$(curl -s -i --fail -d "page=VaziVevPassword&newpassword=$password&confirm=$password" "$url" |
  tr -d '\r' | sed -n 's/^Set-Cookie: Admin=\([^;]*\).*/\1/p')
token=$(curl -s --fail -H "Cookie: Admin=$cookie" "$url?page=VaziVevSettings" |
  sed -n 's/.*name="_token" value="\([0-9a-f]*\)".*/\1/p')
[ -n "$cookie" ] && [ -n "$token" ] || { echo "The password could not be set." >&2; exit 1; }
curl -s -o /dev/null --fail -H "Cookie: Admin=$cookie" --data-urlencode "_token=$token" \
  --data-urlencode "page=VaziVevSettings" --data-urlencode "Loging=Unique" \
  --data-urlencode "LogFile=$site/access.log" --data-urlencode "Unit=3" --data-urlencode "URL=www.example.org" \
  --data-urlencode "lines=30" --data-urlencode "Statuses=2xx 304" \
  --data-urlencode "Assets=css js mjs map gif jpg jpeg png webp avif svg ico bmp tif tiff woff woff2 ttf otf eot mp3 ogg wav flac m4a mp4 webm mov avi mkv" \
  "$url"
# Every day of the sample counted at once, as the cron line of
# docs/deploy.md would after midnight: no visitor waits for a cold day.
setpriv --reuid=www-data --regid=www-data --clear-groups "$site/vazivev-update" >/dev/null
curl -s --fail "$url" | grep -q 'id="hits"' || { echo "The site does not answer as expected." >&2; exit 1; }

echo
echo "The demo runs: $url"
echo "The administrator password is \"$password\": change it at $url?page=VaziVevPassword"
echo "Stop it with: ./demo.sh stop"
