#!/usr/bin/env bash
# Builds the saved-game readers' fuzz target with clang (libFuzzer + AddressSanitizer + UBSan)
# in its own folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-saves.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-saves/corpus and is seeded with the
# files of a real saved game; crashes are written to build-fuzz-saves/artifacts/. Replay one
# input with `build-fuzz-saves/fuzz_saves FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-saves}

. "$top/scripts/fuzz-lib.sh"
sources=("$top"/src/squirrel/*.cpp
         "$top/src/script/sqbind.cpp" "$top/src/script/scriptData.cpp" "$top/src/script/scriptDataRead.cpp" "$top/src/script/baseObject.cpp"
         "$top/src/script/sqVMReload.cpp" "$top/src/core/stream.cpp" "$top/src/core/platform.cpp"
         "$top/src/world/heightmap.cpp" "$top/src/world/world_data.cpp" "$top/src/world/water_sim.cpp"
         "$top/src/world/noise.cpp" "$top/src/core/stats_tracker.cpp"
         "$top/src/world/saved_games.cpp" "$top/src/world/world_file.cpp" "$top/src/world/world_enter.cpp"
         "$top/src/world/universe.cpp" "$top/src/world/spells.cpp" "$top/src/world/safe_file.cpp"
         "$top/tools/fuzz_saves/fuzz_stubs.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_saves "$top/tools/fuzz_saves/fuzz_saves.cpp" "$top/src/squirrel $top/src/script $top/src/core $top/src/app $top/src/world $top/src/host" "${sources[@]}"

# Seeds: a real game's info and uni, world files with and without block patches and a game-object block.
corpus="$out/corpus"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  seed() { printf "$2" > "$corpus/$1"; }
  # info: magic, version, { name = "Game" }
  seed info '\x00\x00\x04\x11\x13\x00\x29\x09\x02\x06\x01\x00\x00\x00\x02\x04\x00\x00\x00name\x02\x04\x00\x00\x00Game'
  # uni: version, { worlds = [ { name = "A" } ], enteredWorld = -1 }
  seed uni '\x01\x00\x29\x09\x02\x06\x02\x00\x00\x00\x02\x06\x00\x00\x00worlds\x05\x01\x00\x00\x00\x06\x01\x00\x00\x00\x02\x04\x00\x00\x00name\x02\x01\x00\x00\x00A\x02\x0c\x00\x00\x00enteredWorld\x03\xff\xff\xff\xff'
  # world, no block patches: sun (0,1,0,0), sky value 0, "normal", camera 0 0 0, time 5, globals { counter = 2 }
  seed world '\x02\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06normal\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00\x0a\x06\x01\x00\x00\x00\x02\x07\x00\x00\x00counter\x03\x02\x00\x00\x00'
  seed world_unit '\x02\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03sky\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00\x0a\x06\x02\x00\x00\x00\x02\x01\x00\x00\x00u\x0a\x09\x02\x04\x00\x00\x00Unit\x01\x00\x00\x00\x02\x02\x00\x00\x00hp\x03\x05\x00\x00\x00\x02\x01\x00\x00\x00f\x07\x02\x06\x00\x00\x00helper\x00'
  seed world_version '\x03\x00\x29\x09\x02\x00\x00\x00\x00\x00'
  # world with block patches: a NaN and a huge height (hmap), water beside lava with wild flows
  # (water records at 0x140000), a surface word; then the tail of the "world" seed
  seed world_block '\x02\x0b\x00\x01\x00\x08\x00\x00\xc0\x7f\x00\x00\x80\x7f\x10\x00\x14\x20\x00\x00\x80\x3f\x00\x00\x20\x41\x00\x00\x00\x00\x00\x00\x00\x00\xcd\xcc\x4c\xbf\x00\x00\x20\xc1\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x08\x04\xff\xff\xff\xff\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06normal\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00\x0a\x06\x01\x00\x00\x00\x02\x07\x00\x00\x00counter\x03\x02\x00\x00\x00'
fi

fuzz_run "$out" fuzz_saves "$secs" "$@"
