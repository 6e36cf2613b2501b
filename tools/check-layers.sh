#!/bin/sh
# Fails when a source file includes a header of a higher folder. The folders
# in layer order are core, objects, script, server, system, logread, stats and
# app; each may include its own and lower ones.
set -eu
cd "$(dirname "$0")/.."
layers="core objects script server system logread stats app"
rank() {
  i=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo $i; return; }
    i=$((i + 1))
  done
  echo -1
}
status=0
for layer in $layers; do
  [ -d "$layer" ] || continue
  own=$(rank "$layer")
  for file in "$layer"/*.h "$layer"/*.cc; do
    [ -f "$file" ] || continue
    for header in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
      case "$header" in
        core/iserver.h|core/params.h|core/errors.h) continue ;;
      esac
      target=$(rank "${header%%/*}")
      if [ "$target" -gt "$own" ]; then
        echo "$file includes $header from a higher folder" >&2
        status=1
      fi
    done
  done
done
exit $status
