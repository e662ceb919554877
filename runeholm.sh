#!/usr/bin/env bash
# Installs what is missing, builds and runs the game.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
exec "$top/build/bin/runeholm" "$@"
