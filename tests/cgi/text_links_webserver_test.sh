#!/bin/sh
# The links of rankings whose names hold bytes of 0x80 and more (UTF-8,
# EUC-JP, Shift_JIS, Latin-1, percent-escapes of them) and control
# characters, followed through a real lighttpd as a browser follows them:
# under lighttpd's defaults and under the strict URL parsing of Debian's
# stock configuration, which both refuse a query that decodes to bytes that
# are no UTF-8, every link of the rankings and of their day navigation must
# answer 200 with the row it was made for.
set -euf  # no globbing: every link holds a "?"
cmake=$1
build=$2
# shellcheck source=tests/lighttpd_site.sh
. "$(dirname "$0")/../lighttpd_site.sh"
lighttpd_scratch links

site=$work/cgi
install_served_site "$cmake" "$build" "$site"
mkdir -p "$work/htdocs" "$site/data/vazivev/domains" "$site/data/vazivev/pages"
printf 'object vazivev : VaziVev\n Unit=3\n lines=100\nend\n' >"$site/data/vazivev/index"
printf 'object domains : DomainsContainer\nend\n' >"$site/data/vazivev/domains/index"
printf 'object pages : PagesContainer\nend\n' >"$site/data/vazivev/pages/index"
n=0
for path in '/caf%C3%A9/%E6%97%A5.html' '/\0346\0227\0245/' '/%C6%FC%CB%DC' '/\0306\0374\0313\0334' \
    '/\0223\0372\0226\0173' '/caf\0351' '/a%FFb%0A' '/t\tab' '/&#60;x&#62;' '/%3Cb%3E%26' '/a+b%2B' '/~u/%7E'; do
  n=$((n + 1))
  i=0
  while [ "$i" -lt "$n" ]; do
    printf 'h%s.\306\374.example.jp - - [05/Mar/1999:10:00:00 +0000] "GET %b HTTP/1.0" 200 1\n' "$n" "$path"
    i=$((i + 1))
  done
done >"$site/logs/QL990305.log"

strict_config() {
  lighttpd_cgi_config "$@"
  # Debian's stock /etc/lighttpd/lighttpd.conf
  cat <<'CONF'
server.http-parseopts = (
  "header-strict" => "enable", "host-strict" => "enable", "host-normalize" => "enable",
  "url-normalize-unreserved" => "enable", "url-normalize-required" => "enable",
  "url-ctrls-reject" => "enable", "url-path-2f-decode" => "enable",
  "url-path-dotseg-remove" => "enable", "url-invalid-utf8-reject" => "enable"
)
CONF
}

# The hrefs of the ranking table (or, with a second argument, the day
# links) of a page, as a browser sends them.
links() {
  if [ "$#" -eq 0 ]; then
    sed -n '/id="ranking"/,/<\/table>/p'
  else
    sed -n '/<p class="days">/,/<\/p>/p'
  fi | grep -o 'href="[^"]*"' | sed 's/^href="//; s/"$//; s/&amp;/\&/g'
}
# What a page shows in the element of that id.
which() { sed -n 's/.*id="which">\([^<]*\)<.*/\1/p'; }
# The text of the link of a ranking row.
shown_of() { grep -F "href=\"$(printf '%s' "$1" | sed 's/&/\&amp;/g')\"" | sed 's/.*rel="nofollow">\([^<]*\)<\/a>.*/\1/'; }

configs="lighttpd_cgi_config strict_config"
[ "${3:-both}" = strict ] && configs=strict_config
for config in $configs; do
  lighttpd_start "$work" "$config" "$site" "$work/htdocs" "$work/error.log" || fail "lighttpd did not start"
  base="http://127.0.0.1:$lighttpd_port/cgi-bin"
  checked=0
  for ranking in VaziVevPages VaziVevDomains; do
    page=$(curl -s "$base/vazivev.cgi?page=$ranking&Date=19990305")
    rows=$(printf '%s\n' "$page" | links)
    [ -n "$rows" ] || fail "$config: no rows on $ranking: $page"
    for href in $rows; do
      answer=$(curl -s -w '\n%{http_code}' "$base/$href")
      [ "$(printf '%s' "$answer" | tail -n 1)" = 200 ] || fail "$config: $href answered $(printf '%s' "$answer" | tail -n 1)"
      shown=$(printf '%s\n' "$page" | shown_of "$href")
      [ "$(printf '%s\n' "$answer" | which)" = "$shown" ] || fail "$config: $href shows $(printf '%s\n' "$answer" | which), not $shown"
      printf '%s\n' "$answer" | grep -q 'class="num hits">[1-9]' || fail "$config: $href lists nothing"
      for day in $(printf '%s\n' "$answer" | links days); do
        code=$(curl -s -o "$work/day.html" -w '%{http_code}' "$base/$day")
        [ "$code" = 200 ] || fail "$config: $day answered $code"
        [ "$(which <"$work/day.html")" = "$shown" ] || fail "$config: $day names another row"
      done
      checked=$((checked + 1))
    done
  done
  [ "$checked" -eq 13 ] || fail "$config: $checked links checked, not 13"
  lighttpd_stop
done
echo "ranking links ok"
