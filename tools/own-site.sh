#!/bin/sh
# Gives an installed site the owners of docs/deploy.md for a web server
# that runs the program as USER (www-data by default): the program, the
# logger and page/ stay root's and read-only; data/, logs/, the lock file
# and the access log become USER's; the site folder is root's, writable by
# USER's group and sticky, so USER makes and renames its own files there
# but cannot remove or replace root's. Makes the access log when missing.
#
#     tools/own-site.sh SITE [USER]
set -eu
site=$1
user=${2:-www-data}
group=$(id -gn "$user")
chown root:"$group" "$site"
chmod 1775 "$site"
chown -R root:root "$site/vazivev.cgi" "$site/vazivev-log" "$site/vazivev-import" "$site/vazivev-update" "$site/page"
chmod -R u=rwX,go=rX "$site/page"
chmod 0755 "$site/vazivev.cgi" "$site/vazivev-log" "$site/vazivev-import" "$site/vazivev-update"
[ -e "$site/access.log" ] || : >"$site/access.log"
chown -R "$user:$group" "$site/data" "$site/logs" "$site/vazivev.txt" "$site/access.log"
