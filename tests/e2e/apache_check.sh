#!/bin/sh
# Checks the Apache configuration of docs/deploy.md for real, by hand (not
# part of the test command: it installs apache2). A copy of Debian's stock
# /etc/apache2 in a scratch folder gets the document's two blocks, with the
# site's folder in place of /srv/www/vazivev, and listens on a loopback
# port; the system's own configuration is not touched. Then: the program
# answers as CGI under www-data, the site is set up through its settings
# page, the request log arrives through the piped logger, and no other file
# of the site can be fetched. Needs root.
#
#     tests/e2e/apache_check.sh CMAKE BUILD
set -eu
unset TZ
cmake=$1
build=$(cd "$2" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "needs root"; exit 1; }
command -v apache2 >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends apache2 >/dev/null
work=$(mktemp -d /tmp/vazivev-apache-XXXXXX)
chmod 755 "$work"
conf=$work/etc
cleanup() {
  [ -f "$work/run/apache2.pid" ] && APACHE_CONFDIR=$conf apache2ctl -k stop 2>/dev/null
  sleep 1
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  tail -20 "$work/log/error.log" 2>/dev/null
  exit 1
}

site=$work/site
"$cmake" --install "$build" --prefix "$site" >/dev/null
# Ten days of sample log ending yesterday, before the server adds its own.
python3 "$top/bench/gen_log.py" "$site/access.log" 3000 10 "$(date -d '-10 days' +%Y-%m-%d)" 4
sh "$top/tools/own-site.sh" "$site" www-data

cp -a /etc/apache2 "$conf"
mkdir -p "$work/run" "$work/log" "$work/lock"
sed -i -e "s|^export APACHE_RUN_DIR=.*|export APACHE_RUN_DIR=$work/run|" \
  -e "s|^export APACHE_PID_FILE=.*|export APACHE_PID_FILE=$work/run/apache2.pid|" \
  -e "s|^export APACHE_LOCK_DIR=.*|export APACHE_LOCK_DIR=$work/lock|" \
  -e "s|^export APACHE_LOG_DIR=.*|export APACHE_LOG_DIR=$work/log|" "$conf/envvars"
port=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 20000))
printf 'Listen 127.0.0.1:%s\n' "$port" >"$conf/ports.conf"
sed -i "s|<VirtualHost \*:80>|<VirtualHost *:$port>|" "$conf/sites-available/000-default.conf"
# a2enmod cgid, a2enconf vazivev, by hand in the copy.
for m in cgid; do
  for f in "$conf/mods-available/$m".*; do ln -sf "$f" "$conf/mods-enabled/"; done
done
doc=$top/docs/deploy.md
block() { awk -v n="$1" '/^```apache$/ { k++; inside = (k == n); next } inside && /^```$/ { exit } inside' "$doc"; }
block 1 | sed "s|/srv/www/vazivev|$site|g" >"$conf/conf-available/vazivev.conf"
ln -s ../conf-available/vazivev.conf "$conf/conf-enabled/vazivev.conf"
custom=$(block 2 | sed "s|/srv/www/vazivev|$site|g")
grep -q 'CustomLog ${APACHE_LOG_DIR}/access.log combined' "$conf/sites-available/000-default.conf" \
  || fail "no CustomLog line to replace"
awk -v line="$custom" '/CustomLog \$\{APACHE_LOG_DIR\}\/access.log combined/ { print "\t" line; next } 1' \
  "$conf/sites-available/000-default.conf" >"$work/site.conf"
cp "$work/site.conf" "$conf/sites-available/000-default.conf"

APACHE_CONFDIR=$conf apache2ctl configtest || fail "configuration"
APACHE_CONFDIR=$conf apache2ctl -k start || fail "start"
base="http://127.0.0.1:$port/stats/vazivev.cgi"
for wait in $(seq 25); do
  curl -s -o /dev/null "$base" && break
  sleep 0.2
done

out=$(curl -s -i "$base")
echo "$out" | grep -q "^HTTP/1.1 200" || fail "the program: $out"
cookie=$(curl -s -i -d "page=VaziVevPassword&newpassword=check&confirm=check" "$base" |
  tr -d '\r' | sed -n 's/^Set-Cookie: Admin=\([^;]*\).*/\1/p')
token=$(curl -s -H "Cookie: Admin=$cookie" "$base?page=VaziVevSettings" |
  sed -n 's/.*name="_token" value="\([0-9a-f]*\)".*/\1/p')
[ -n "$token" ] || fail "no login"
curl -s -o /dev/null -H "Cookie: Admin=$cookie" --data-urlencode "_token=$token" \
  --data-urlencode "page=VaziVevSettings" --data-urlencode "Loging=Unique" \
  --data-urlencode "LogFile=$site/access.log" --data-urlencode "Unit=3" --data-urlencode "lines=30" "$base"
yesterday=$(date -d yesterday +%Y%m%d)
hits=$(curl -s "$base?Date=$yesterday" | sed -n 's/.*id="hits">\([0-9]*\)<.*/\1/p')
[ -n "$hits" ] && [ "$hits" -gt 0 ] || fail "no figures for yesterday"
for p in data/ data/vazivev/index logs/ "logs/QL${yesterday#??}.log" page/ page/VaziVevIndex.html \
    vazivev.txt access.log vazivev.log vazivev-log ""; do
  code=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/stats/$p")
  [ "$code" = 404 ] || [ "$code" = 403 ] || fail "/stats/$p answered $code"
done
for p in /stats/vazivev.cgi/../data/vazivev/index /stats/vazivev.cgi/%2e%2e/data/vazivev/index \
    /stats/vazivev.cgi.txt "$site/data/vazivev/index"; do
  code=$(curl -s --path-as-is -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$p")
  [ "$code" = 404 ] || [ "$code" = 403 ] || fail "$p answered $code"
done
# The server's requests arrive through the piped logger (today's lines wait
# in the log or the carry-over file), and what the program wrote is
# www-data's.
sleep 1
cat "$site/access.log" "$site/vazivev.log" 2>/dev/null | grep -q "GET /stats/vazivev.cgi?Date=$yesterday" \
  || fail "the requests are not in the access log"
written=$(find "$site/data" "$site/logs" "$site/access.log" ! -user www-data)
[ -z "$written" ] || fail "not www-data's: $written"
ps -o user=,args= -C vazivev-log
echo "apache ok on port $port: $hits page requests yesterday"
