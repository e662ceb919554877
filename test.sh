#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
export RUNEHOLM_HEADLESS=1
export MESA_GL_VERSION_OVERRIDE=3.3
export ALSOFT_DRIVERS=null
cd "$top/build"
ctest --output-on-failure -j "$(nproc)" "$@"
