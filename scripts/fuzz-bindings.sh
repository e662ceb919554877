#!/usr/bin/env bash
# Builds the fuzz target for the host's script bindings (math and colour types, world-generation
# API, sound script functions) with clang (libFuzzer + AddressSanitizer + UBSan) in its own
# folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-bindings.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-bindings/corpus and is seeded from
# tools/fuzz_bindings/seeds; crashes are written to build-fuzz-bindings/artifacts/. Replay one
# input with `build-fuzz-bindings/fuzz_bindings FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-bindings}

. "$top/scripts/fuzz-lib.sh"
# sound_script.cpp is compiled as part of the harness (its natives are file-local).
audio=()
for src in "$top"/src/audio/*.cpp; do
  [ "$(basename "$src")" = sound_script.cpp ] || audio+=("$src")
done
sources=("$top"/src/squirrel/*.cpp "$top"/src/script/*.cpp "${audio[@]}"
         "$top"/src/world/worldGen_*.cpp "$top"/src/world/hmGen*.cpp "$top"/src/world/bitMap*.cpp
         "$top/src/world/noise.cpp" "$top/src/world/erosion.cpp" "$top/src/world/heightmap.cpp"
         "$top/src/world/house.cpp" "$top/src/world/palettes.cpp"
         "$top/src/core/stream.cpp" "$top/src/core/platform.cpp" "$top/src/core/app_globals.cpp"
         "$top/src/core/input.cpp" "$top/src/core/config.cpp"
         "$top/tools/fuzz_bindings/fuzz_stubs.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
read -ra fuzz_libs <<< "$(pkg-config --libs openal sndfile sdl2)"
fuzz_build "$out" fuzz_bindings "$top/tools/fuzz_bindings/fuzz_bindings.cpp" \
  "$top/src/squirrel $top/src/script $top/src/core $top/src/app $top/src/world $top/src/audio" \
  "${sources[@]}"

corpus="$out/corpus"
mkdir -p "$corpus"
[ -n "$(ls -A "$corpus")" ] || cp "$top"/tools/fuzz_bindings/seeds/*.nut "$corpus"/

# The language's words and the bindings' names.
cat "$top/tools/fuzz_squirrel/squirrel.dict" "$top/tools/fuzz_bindings/bindings.dict" > "$out/fuzz.dict"
# A pass over every cell with a script callback takes seconds under the sanitizers.
fuzz_run "$out" fuzz_bindings "$secs" -dict="$out/fuzz.dict" -timeout=30 "$@"
