#!/usr/bin/env bash
# Builds the tree with AddressSanitizer and UBSan into build-asan/ and runs every test there.
#
#   scripts/test-sanitized.sh [extra ctest arguments...]
#
# A UBSan report ends the process (no recovery), so it fails its test. Leak checking is on
# except in the suites that open a GL window (see the top-level CMakeLists.txt). JOBS sets the
# parallel compilations and test processes (default 2); the build uses ccache when installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=${JOBS:-2}
"$top/scripts/install-deps.sh"
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
if [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUNEHOLM_SANITIZE=ON
fi
cmake --build build-asan -j "$jobs"
export RUNEHOLM_HEADLESS=1
export MESA_GL_VERSION_OVERRIDE=3.3
export ALSOFT_DRIVERS=null
# Reports name the source line; the tests' own ASAN_OPTIONS (set per suite) add to these.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
cd build-asan
ctest --output-on-failure -j "$jobs" "$@"
