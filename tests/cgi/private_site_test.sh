#!/bin/sh
# The two lighttpd configurations of docs/deploy.md that keep the
# statistics private, each added to the deployment's own lighttpd block
# and run by a real lighttpd: behind a password, the program answers 401
# without it or with a wrong one and the page with it; by address, the
# listed range is let in and any other answered 403.
set -eu
cmake=$1
build=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/lighttpd_site.sh
. "$top/tests/lighttpd_site.sh"
lighttpd_scratch private

# A block of the document, by the word after its opening fence.
block() { awk -v fence="\`\`\`$1" '$0 == fence { inside = 1; next } inside && /^```$/ { exit } inside' "$top/docs/deploy.md"; }
extra=""
private_config() {
  sh "$top/tools/lighttpd-conf.sh" "$site" "$work/htdocs" "$work/log" "$work/lighttpd.pid" 127.0.0.1 "$1"
  printf '%s\n' "$extra"
}

chmod 755 "$work"
site=$work/site
install_served_site "$cmake" "$build" "$site"
mkdir -p "$work/htdocs" "$work/log"
touch "$site/access.log"
if [ "$(id -u)" -eq 0 ]; then
  sh "$top/tools/own-site.sh" "$site" www-data
  chown www-data "$work/log"
fi
printf 'stats:%s\n' "$(openssl passwd -6 's3cret pass')" >"$work/htpasswd"
chmod 644 "$work/htpasswd"

password=$(block lighttpd-password)
addresses=$(block lighttpd-addresses)
[ -n "$password" ] && [ -n "$addresses" ] || fail "no private blocks in docs/deploy.md"

code() { curl -s -o "$work/answer" -w '%{http_code}' "$@"; }

extra=$(printf '%s\n' "$password" | sed "s|/etc/vazivev.htpasswd|$work/htpasswd|")
lighttpd_start "$work" private_config || fail "lighttpd did not start with the password block"
url="http://127.0.0.1:$lighttpd_port/stats/vazivev.cgi"
[ "$(code "$url")" = 401 ] || fail "no password: $(cat "$work/answer")"
[ "$(code -u stats:wrong "$url?page=VaziVevPages")" = 401 ] || fail "a wrong password was let in"
[ "$(code -u 'stats:s3cret pass' "$url?page=VaziVevPages")" = 200 ] || fail "the password was refused"
grep -q "<title>Pages - Access statistics</title>" "$work/answer" || fail "not the page: $(cat "$work/answer")"
lighttpd_stop

extra=$addresses
lighttpd_start "$work" private_config || fail "lighttpd did not start with the address block"
[ "$(code "http://127.0.0.1:$lighttpd_port/stats/vazivev.cgi")" = 200 ] || fail "a listed address was refused"
lighttpd_stop
extra=$(printf '%s\n' "$addresses" | sed 's|127.0.0.0/8|10.0.0.0/8|')
lighttpd_start "$work" private_config || fail "lighttpd did not start with the other ranges"
[ "$(code "http://127.0.0.1:$lighttpd_port/stats/vazivev.cgi")" = 403 ] || fail "an address outside the ranges was let in"
echo "private site ok"
