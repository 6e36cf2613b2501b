#!/bin/sh
# Writes to standard output the lighttpd configuration of docs/deploy.md
# (its block marked "lighttpd") with this machine's folders, address and
# port in place of the document's, so the demo and the tests run exactly
# what the document tells administrators to write:
#
#     tools/lighttpd-conf.sh SITE DOCROOT LOGDIR PIDFILE BIND PORT
#
# Run as another user than root, the server.username and server.groupname
# lines are left out: only root can change to www-data.
set -eu
[ "$#" -eq 6 ] || { echo "usage: $0 SITE DOCROOT LOGDIR PIDFILE BIND PORT" >&2; exit 2; }
case "$1$2$3$4" in
  *[\ \"\'\\]*) echo "paths with blanks, quotes or backslashes cannot go into the configuration" >&2; exit 2 ;;
esac
doc=$(cd "$(dirname "$0")/.." && pwd)/docs/deploy.md
conf=$(awk '/^```lighttpd$/ { inside = 1; next } inside && /^```$/ { exit } inside' "$doc")
[ -n "$conf" ] || { echo "no lighttpd block in $doc" >&2; exit 1; }
# The values go into sed replacements: escape its special characters.
quote() { printf '%s' "$1" | sed 's/[\\|&]/\\&/g'; }
printf '%s\n' "$conf" | sed \
  -e "s|/srv/www/vazivev|$(quote "$1")|g" \
  -e "s|/var/www/html|$(quote "$2")|g" \
  -e "s|/var/log/lighttpd|$(quote "$3")|g" \
  -e "s|/run/lighttpd.pid|$(quote "$4")|g" \
  -e "s|^server.bind = \"0.0.0.0\"|server.bind = \"$(quote "$5")\"|" \
  -e "s|^server.port = 80\$|server.port = $(quote "$6")|" |
  if [ "$(id -u)" -eq 0 ]; then cat; else grep -v '^server\.\(user\|group\)name'; fi
