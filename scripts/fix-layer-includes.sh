#!/usr/bin/env bash
# Rewrites includes of headers that moved out of src/app when the shared
# services went down into src/core (see docs/layers.md), in the files given.
# Usage: scripts/fix-layer-includes.sh FILE...
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }
sed -i -E \
  -e 's#"app/(log|platform|app_globals|app_settings|config|shutdown|priority|stats_tracker|input|window|game_mode)\.h"#"core/\1.h"#g' \
  -e 's#"app/camera\.h"#"render/camera.h"#g' \
  -e 's#"app/temp_data_home\.h"#"core/temp_data_home.h"#g' \
  "$@"
