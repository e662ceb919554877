#!/usr/bin/env bash
# Fails when a file under src/<layer> includes a header of a layer that
# <layer> does not depend on (the RH_DEPS_* lists in CMakeLists.txt, followed
# transitively; docs/layers.md).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
declare -A deps
while read -r name list; do deps[$name]=$list; done < <(
  sed -n -E 's/^set\(RH_DEPS_([a-z]+)( ([a-z ]*))?\)$/\1 \3/p' "$top/CMakeLists.txt")
reach() { # prints the layer and everything below it
  local seen=" $1 " todo=($1) d
  while [ ${#todo[@]} -gt 0 ]; do
    for d in ${deps[${todo[0]}]:-}; do
      case "$seen" in *" $d "*) ;; *) seen+="$d "; todo+=("$d") ;; esac
    done
    todo=("${todo[@]:1}")
  done
  echo "$seen"
}
bad=0
for layer in "${!deps[@]}"; do
  [ -d "$top/src/$layer" ] || continue
  allowed=$(reach "$layer")
  while IFS=: read -r file line inc; do
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<< "$inc")
    [ -n "${deps[$target]+x}" ] || continue # not one of our layers
    case "$allowed" in *" $target "*) ;; *)
      echo "${file#$top/}:$line: $layer must not include $target ($inc)"; bad=1 ;; esac
  done < <(grep -rnE '^#include "[a-z]+/' "$top/src/$layer" || true)
done
exit $bad
