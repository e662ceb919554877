#!/usr/bin/env bash
# Builds the shader cache reader's fuzz target with clang (libFuzzer + AddressSanitizer +
# UBSan) in its own folder, outside the CMake/GCC build, and runs it for a number of seconds.
# GL is replaced by the harness's stand-ins (no context is made).
#
#   scripts/fuzz-shadercache.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-shadercache/corpus; the saved inputs of
# tests/fuzz/fuzz_shadercache seed it. Crashes are written to build-fuzz-shadercache/artifacts/.
# Replay one input with `build-fuzz-shadercache/fuzz_shadercache FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-shadercache}

. "$top/scripts/fuzz-lib.sh"
sources=("$top/src/render/shader_compile.cpp" "$top/src/core/stream.cpp" "$top/src/core/platform.cpp"
         "$top/tools/fuzz_shadercache/fuzz_stubs.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
read -ra fuzz_libs <<< "$(pkg-config --libs epoxy)"
fuzz_build "$out" fuzz_shadercache "$top/tools/fuzz_shadercache/fuzz_shadercache.cpp" "$top/src/core $top/src/render" "${sources[@]}"
fuzz_run "$out" fuzz_shadercache "$secs" -max_len=65536 "$@"
