#!/bin/sh
# The installed program under a real web server: lighttpd on a loopback
# port runs it as a CGI program, and curl makes the requests a browser
# would: the default page, an upload-free POST answered with a redirect,
# setting the administrator password, a protected page with and without
# the login cookie, and the statuses of error pages.
set -eu
cmake=$1
build=$2
# shellcheck source=tests/lighttpd_site.sh
. "$(dirname "$0")/../lighttpd_site.sh"
lighttpd_scratch www

install_served_site "$cmake" "$build" "$work/cgi"
mkdir -p "$work/htdocs"
cat > "$work/cgi/page/Quiet.html" <<'PAGE'
'$System.Redirect vazivev.cgi?page=Done
PAGE
cat > "$work/cgi/page/Secret.html" <<'PAGE'
'Admin
<html><body>secret</body></html>
PAGE

lighttpd_start "$work" lighttpd_cgi_config "$work/cgi" "$work/htdocs" "$work/error.log" || fail "lighttpd did not start"
port=$lighttpd_port
base="http://127.0.0.1:$port/cgi-bin/vazivev.cgi"

out=$(curl -s -i "$base")
echo "$out" | grep -q "^HTTP/1.1 200" || fail "default page: $out"
echo "$out" | grep -qi "^Content-type: text/html" || fail "no content type: $out"
echo "$out" | grep -q "<title>Dashboard - Access statistics</title>" || fail "not the default page: $out"

out=$(curl -s -i -d "x=1" "$base?page=Quiet")
echo "$out" | grep -q "^HTTP/1.1 302" || fail "POST without output is no redirect: $out"
echo "$out" | tr -d '\r' | grep -q "^Location: http://127.0.0.1:$port/cgi-bin/vazivev.cgi?page=Done$" \
  || fail "wrong redirect: $out"

out=$(curl -s -i -d "page=VaziVevPassword&newpassword=pw1&confirm=pw1" "$base")
echo "$out" | grep -q "Password changed" || fail "password not set: $out"
cookie=$(echo "$out" | tr -d '\r' | sed -n 's/^Set-Cookie: Admin=//p')
[ -n "$cookie" ] || fail "no login cookie: $out"

curl -s "$base?page=Secret" | grep -q "Administrator login" || fail "protected page shown without login"
curl -s -b "Admin=$cookie" "$base?page=Secret" | grep -q "secret" || fail "login cookie not accepted"
out=$(curl -s -i -d "_System=Admin&_password=wrong&page=Secret" "$base")
echo "$out" | grep -q "Wrong password" || fail "wrong password accepted: $out"
echo "$out" | grep -q "^HTTP/1.1 403" || fail "wrong password is no 403: $out"

# The statuses reach the browser through the web server.
out=$(curl -s -i "$base?page=NoSuchPage")
echo "$out" | grep -q "^HTTP/1.1 404" || fail "missing page is no 404: $out"
echo "$out" | grep -q "<title>Not found - Access statistics</title>" || fail "not the site's not-found page: $out"
out=$(curl -s -i "$base?Date=20261332")
echo "$out" | grep -q "^HTTP/1.1 400" || fail "invalid date is no 400: $out"
mv "$work/cgi/vazivev.txt" "$work/cgi/vazivev.txt.off"
out=$(curl -s -i "$base")
echo "$out" | grep -q "^HTTP/1.1 500" || fail "missing lock file is no 500: $out"
mv "$work/cgi/vazivev.txt.off" "$work/cgi/vazivev.txt"
echo "web server ok on port $port"
