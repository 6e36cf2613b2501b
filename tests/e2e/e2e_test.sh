#!/bin/sh
# The browser test: installs a fresh site, writes a sample access log
# ending yesterday, starts lighttpd with the configuration of
# docs/deploy.md (the program run as CGI under www-data when run as root,
# the access log written through the piped logger), and lets
# tests/e2e/walk.js drive headless Chromium through the pages.
# A failure leaves a screenshot in BUILD/screenshots/; with E2E_EVERY_SHOT=1
# in the environment every page leaves one.
#
#     tests/e2e/e2e_test.sh CMAKE BUILD
set -eu
cmake=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
# shellcheck source=tests/lighttpd_site.sh
. "$top/tests/lighttpd_site.sh"

sh "$top/tools/install-deps.sh" --browser
# playwright-core only (it downloads no browser), installed into the build
# folder from the committed lock file.
modules=$build/e2e
if ! cmp -s "$here/package-lock.json" "$modules/package-lock.json" || [ ! -d "$modules/node_modules/playwright-core" ]; then
  rm -rf "$modules"
  mkdir -p "$modules"
  cp "$here/package.json" "$here/package-lock.json" "$modules/"
  # Its own cache: nothing depends on a home folder.
  (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error --cache "$modules/npm-cache")
fi
shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots"

# lighttpd passes no TZ to the program, which takes its days from the
# machine's zone: so does the sample log.
unset TZ
yesterday=$(date -d yesterday +%Y%m%d)
user=www-data
[ "$(id -u)" -eq 0 ] || user=$(id -un)

# Below /tmp: www-data must be able to reach the site, which a clone
# below a closed folder (such as /root) would not let it.
lighttpd_scratch e2e
deployed_config() {
  sh "$top/tools/lighttpd-conf.sh" "$site" "$work/htdocs" "$work/log" "$work/lighttpd.pid" 127.0.0.1 "$1"
}

chmod 755 "$work"
site=$work/site
install_served_site "$cmake" "$build" "$site"
days=10
python3 "$top/bench/gen_log.py" "$site/access.log" $((days * 300)) "$days" "$(date -d "-$days days" +%Y-%m-%d)" 6
# A path in UTF-8, percent-encoded as browsers send it: the pages must
# show it as it was written.
stamp=$(LC_ALL=C date -d yesterday '+%d/%b/%Y:12:00:00 %z')
for _ in 1 2 3; do
  echo "utf8.example.org - - [$stamp] \"GET /caf%C3%A9/%E6%97%A5%E6%9C%AC.html HTTP/1.1\" 200 100" >>"$site/access.log"
done
mkdir -p "$work/htdocs" "$work/log"
echo "<p>The document root.</p>" >"$work/htdocs/index.html"
if [ "$(id -u)" -eq 0 ]; then
  sh "$top/tools/own-site.sh" "$site" "$user"
  chown "$user" "$work/log"
fi
lighttpd_start "$work" deployed_config || fail "lighttpd did not start"

E2E_BASE="http://127.0.0.1:$lighttpd_port/stats/vazivev.cgi" E2E_ACCESS="$site/access.log" E2E_DATE=$yesterday \
  E2E_SHOTS=$shots NODE_PATH="$modules/node_modules" node "$here/walk.js" || fail "the browser walk"

# The server's own requests reached the access log through the piped
# logger: today's lines wait in the log or in the split's carry-over file.
cat "$site/access.log" "$site/vazivev.log" 2>/dev/null | grep -q 'GET /stats/vazivev.cgi?page=VaziVevHours' \
  || fail "the server's requests are not in the access log"
# Everything the program wrote belongs to the server's user.
written=$(find "$site/data" "$site/logs" "$site/access.log" ! -user "$user")
[ ! -e "$site/vazivev.log" ] || written="$written$(find "$site/vazivev.log" ! -user "$user")"
[ -z "$written" ] || fail "not owned by $user: $written"
echo "browser walk ok"
