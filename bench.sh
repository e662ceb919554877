#!/usr/bin/env bash
# Builds and runs the benchmarks in bench/ (not part of CI).
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
for b in "$top"/build/bench/*_bench; do
  [ -x "$b" ] && "$b"
done
