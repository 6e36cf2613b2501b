#!/bin/sh
# "Follow" against a real nginx writing its own log under load, rotated by
# the real logrotate (Debian's stock nginx rotation: daily, compress,
# delaycompress, create, nginx told to reopen with USR1) several times while
# it writes, with the program run as a CGI request at random moments; at
# the end, with the clock a day on, every line nginx wrote is in the day
# files exactly once.
#
#     sh tests/cgi/nginx_follow_test.sh CMAKE BUILD [SECONDS]
set -eu
cmake=$1
build=$2
seconds=${3:-4}
command -v nginx >/dev/null || { echo "SKIP: nginx is not installed"; exit 0; }
command -v logrotate >/dev/null || { echo "SKIP: logrotate is not installed"; exit 0; }
work=$(mktemp -d /tmp/vazivev-nginx-XXXXXX)
cleanup() {
  [ -s "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  cat "$work/error.log" 2>/dev/null | tail -5
  exit 1
}

"$cmake" --install "$build" --prefix "$work/site" >/dev/null
# The dynamic program: libfaketime moves its clock below.
cp "$build/vazivev.cgi" "$work/site/vazivev.cgi"
mkdir -p "$work/htdocs" "$work/logs" "$work/site/data/vazivev"
echo hello >"$work/htdocs/index.html"
printf 'object vazivev : VaziVev\n Loging=Follow\n LogFile=%s\nend\n' "$work/logs/access.log" \
  >"$work/site/data/vazivev/index"
printf "'\$System.vazivev.SplitError\n" >"$work/site/page/Blank.html"
port=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 20000))
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log $work/logs/access.log combined;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port;
    root $work/htdocs;
  }
}
CONF
mkdir -p "$work/tmp"
nginx -c "$work/nginx.conf" -p "$work" || fail "nginx did not start"
for _ in $(seq 25); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.2; done
cat >"$work/rotate.conf" <<CONF
$work/logs/access.log {
  daily
  rotate 14
  compress
  delaycompress
  missingok
  create 0640
  sharedscripts
  postrotate
    kill -USR1 \$(cat $work/nginx.pid)
  endscript
}
CONF
chmod 0644 "$work/rotate.conf"

# A sanitizer build's settings pass through; libfaketime may be preloaded
# ahead of the sanitizer runtime.
asan="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
request() {
  (cd "$work/site" && env -i PATH=/usr/bin:/bin TZ=UTC ASAN_OPTIONS="$asan" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    REQUEST_METHOD=GET QUERY_STRING=page=Blank "$@" ./vazivev.cgi)
}

wrk -t1 -c4 -d"${seconds}s" "http://127.0.0.1:$port/" >"$work/wrk.out" 2>&1 &
load=$!
end=$(($(date +%s) + seconds))
round=0
while [ "$(date +%s)" -lt "$end" ]; do
  round=$((round + 1))
  out=$(request)
  case "$out" in *[a-z]*) echo "$out" | grep -q "^Content-type: text/html" || fail "request: $out" ;; esac
  if [ $((round % 4)) -eq 0 ]; then
    logrotate -f -s "$work/rotate.state" "$work/rotate.conf" 2>>"$work/rotate.err" || fail "logrotate"
    sleep 0.2  # nginx reopens its log on the signal
  fi
  sleep 0.$(od -An -N1 -tu1 /dev/urandom | awk '{ print $1 % 9 + 1 }')
done
wait "$load"
sleep 0.5
logrotate -f -s "$work/rotate.state" "$work/rotate.conf" 2>>"$work/rotate.err" || fail "logrotate"
sleep 0.3
# A day on: every day nginx wrote is complete.
lib=$(ls /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 2>/dev/null || true)
[ -n "$lib" ] || fail "libfaketime is missing"
request LD_PRELOAD="$lib" FAKETIME="+1d" >/dev/null
request LD_PRELOAD="$lib" FAKETIME="+1d" >/dev/null

written=$(for f in "$work"/logs/access.log*; do
  case "$f" in *.gz) zcat "$f" ;; *) cat "$f" ;; esac
done | sort)
taken=$(cat "$work"/site/logs/QL*.log "$work/site/vazivev.log" 2>/dev/null | sort)
n_written=$(printf '%s\n' "$written" | grep -c . || true)
n_taken=$(printf '%s\n' "$taken" | grep -c . || true)
echo "nginx wrote $n_written lines in $(ls "$work"/logs | wc -l) files; the day files hold $n_taken"
[ "$n_written" -gt 1000 ] || fail "too few lines: $n_written"
[ "$written" = "$taken" ] || fail "the day files differ from what nginx wrote"
echo "PASS"
