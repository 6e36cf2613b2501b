#!/bin/sh
# Installs a site into a fresh folder, checks its layout, answers one
# request there, and installs again over it: data/, logs/ and the lock file
# must survive.
set -eu
cmake=$1
build=$2
site=$(mktemp -d /tmp/vazivev-install-XXXXXX)
trap 'rm -rf "$site"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$site" >/dev/null
[ -x "$site/vazivev.cgi" ] || fail "no program"
[ -f "$site/page/VaziVevIndex.html" ] || fail "no default page"
tab=$(printf '\t')
grep -q "^AI crawler${tab}GPTBot${tab}" "$site/robots.tsv" || fail "no robot table"
for name in ErrorFail ErrorMemory ErrorAccess ErrorCreate ErrorFileSave ErrorFileLoad \
    ErrorFileCreate ErrorAttachFile ErrorNotFound ErrorValue ErrorDate ErrorTime \
    ErrorTimeConflict ErrorTerm ErrorLogin ErrorNotLogin ErrorPassword ErrorCorrespond \
    ErrorNecessary ErrorInstall ErrorBusy; do
  [ -f "$site/page/$name.html" ] || fail "no page for $name"
done
[ -d "$site/data" ] && [ -d "$site/logs" ] || fail "no data/ or logs/"
[ -f "$site/vazivev.txt" ] && [ ! -s "$site/vazivev.txt" ] || fail "lock file missing or not empty"

out=$(cd "$site" && env -i REQUEST_METHOD=GET "$site/vazivev.cgi")
case "$out" in
  "Content-type: text/html"*) ;;
  *) fail "unexpected answer: $out" ;;
esac

echo kept > "$site/data/stored.txt"
echo kept > "$site/logs/QL990101.log"
echo mine > "$site/vazivev.txt"
"$cmake" --install "$build" --prefix "$site" >/dev/null
[ "$(cat "$site/data/stored.txt")" = kept ] || fail "data/ overwritten"
[ "$(cat "$site/logs/QL990101.log")" = kept ] || fail "logs/ overwritten"
[ "$(cat "$site/vazivev.txt")" = mine ] || fail "lock file overwritten"
echo "install layout ok"
