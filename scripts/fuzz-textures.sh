#!/usr/bin/env bash
# Builds the texture file readers' fuzz target (DDS and TGA) with clang (libFuzzer +
# AddressSanitizer + UBSan) in its own folder, outside the CMake/GCC build, and runs it for a
# number of seconds.
#
#   scripts/fuzz-textures.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-textures/corpus; the saved inputs of
# tests/fuzz/fuzz_textures seed it. Crashes are written to build-fuzz-textures/artifacts/.
# Replay one input with `build-fuzz-textures/fuzz_textures FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-textures}

. "$top/scripts/fuzz-lib.sh"
sources=("$top/src/render/texture_files.cpp" "$top/src/core/stream.cpp" "$top/src/core/platform.cpp"
         "$top/tools/fuzz_textures/fuzz_stubs.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_textures "$top/tools/fuzz_textures/fuzz_textures.cpp" "$top/src/core $top/src/render" "${sources[@]}"
fuzz_run "$out" fuzz_textures "$secs" -max_len=65536 "$@"
