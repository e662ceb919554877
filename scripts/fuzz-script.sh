#!/usr/bin/env bash
# Builds the saved-script-data fuzz target with clang (libFuzzer + AddressSanitizer + UBSan)
# in its own folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-script.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-script/corpus and is seeded with
# small hand-made saves; crashes are written to build-fuzz-script/artifacts/. Replay one input
# with `build-fuzz-script/fuzz_script FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-script}

. "$top/scripts/fuzz-lib.sh"
sources=("$top"/src/squirrel/*.cpp
         "$top/src/script/sqbind.cpp" "$top/src/script/scriptData.cpp" "$top/src/script/scriptDataRead.cpp" "$top/src/script/baseObject.cpp"
         "$top/src/core/stream.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_script "$top/tools/fuzz_script/fuzz_script.cpp" "$top/src/squirrel $top/src/script $top/src/core $top/src/app" "${sources[@]}"

# Seeds: the first byte selects the format (odd: plain), the rest is one save.
corpus="$out/corpus"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  seed() { printf "$2" > "$corpus/$1"; }
  seed plain_int '\x01\x03\x2a\x00\x00\x00'
  seed plain_table '\x01\x06\x02\x00\x00\x00\x02\x01\x00\x00\x00a\x05\x01\x00\x00\x00\x04\x00\x00\x80\x3f\x02\x01\x00\x00\x00b\x01\x01'
  seed self_table '\x00\x0a\x06\x01\x00\x00\x00\x02\x02\x00\x00\x00me\x0b\x00\x00\x00\x00'
  seed unit '\x00\x0a\x06\x01\x00\x00\x00\x02\x01\x00\x00\x00u\x0a\x09\x02\x04\x00\x00\x00Unit\x01\x00\x00\x00\x02\x02\x00\x00\x00hp\x03\x05\x00\x00\x00'
  seed closures '\x00\x0a\x06\x02\x00\x00\x00\x02\x01\x00\x00\x00f\x07\x02\x06\x00\x00\x00helper\x00\x02\x01\x00\x00\x00m\x08\x02\x04\x00\x00\x00Base\x02\x05\x00\x00\x00hello\x0b\x00\x00\x00\x00'
  seed gameobj '\x00\x0a\x05\x03\x00\x00\x00\x0a\x0c\x01\x00\x00\x00\x0b\x01\x00\x00\x00\x0c\x07\x00\x00\x00\x05\x01\x00\x00\x00\x0b\x00\x00\x00\x00'
  { printf '\x00\x0a\x05\x01\x00\x00\x00\x0a\x64'; head -c 8192 /dev/zero; } > "$corpus/bitmap"
  # Valid deep nesting: 3000 inline arrays (plain), 1000 shared tables (script data).
  { printf '\x01'; for _ in $(seq 3000); do printf '\x05\x01\x00\x00\x00'; done; printf '\x00'; } > "$corpus/deep_plain"
  { printf '\x00'; for _ in $(seq 1000); do printf '\x0a\x06\x01\x00\x00\x00\x02\x01\x00\x00\x00n'; done; printf '\x00'; } > "$corpus/deep_tables"
fi

fuzz_run "$out" fuzz_script "$secs" "$@"
