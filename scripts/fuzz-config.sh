#!/usr/bin/env bash
# Builds the fuzz target for the small text files (settings, world palettes, module source
# lists, a saved game's commit journal) with clang (libFuzzer + AddressSanitizer + UBSan) in its
# own folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-config.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-config/corpus; the saved inputs of
# tests/fuzz/fuzz_config seed it. Crashes are written to build-fuzz-config/artifacts/.
# Replay one input with `build-fuzz-config/fuzz_config FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-config}

. "$top/scripts/fuzz-lib.sh"
sources=("$top"/src/squirrel/*.cpp "$top/src/script/sqbind.cpp"
         "$top/src/core/config.cpp" "$top/src/world/palettes.cpp" "$top/src/host/gameobj_rebuild.cpp"
         "$top/src/world/safe_file.cpp" "$top/src/core/stream.cpp" "$top/src/core/platform.cpp"
         "$top/tools/fuzz_config/fuzz_stubs.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_config "$top/tools/fuzz_config/fuzz_config.cpp" \
  "$top/src/squirrel $top/src/script $top/src/core $top/src/world $top/src/host" "${sources[@]}"
fuzz_run "$out" fuzz_config "$secs" "$@"
