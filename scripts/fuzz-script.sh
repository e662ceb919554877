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
jobs=${FUZZ_JOBS:-2}
cxx=${CXX_FUZZ:-clang++}

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I"$top/src" -I"$top/src/squirrel" -I"$top/src/squirrel/include")
mkdir -p "$out/obj" "$out/artifacts"

# The Squirrel runtime, the scripting layer's persistence and binding sources, the streams and
# the harness's own stubs for the log. Only sources newer than their objects are compiled.
sources=("$top"/src/squirrel/*.cpp
         "$top/src/script/sqbind.cpp" "$top/src/script/scriptData.cpp" "$top/src/script/baseObject.cpp"
         "$top/src/core/stream.cpp" "$top/tools/fuzz_script/fuzz_stubs.cpp")
headers_newer() {
  [ -n "$(find "$top/src/squirrel" "$top/src/script" "$top/src/core" "$top/src/app" -name '*.h' -newer "$1" -print -quit)" ]
}
stale=()
for src in "${sources[@]}"; do
  obj="$out/obj/$(basename "$(dirname "$src")")_$(basename "${src%.cpp}").o"
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || headers_newer "$obj"; then
    stale+=("$src")
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  echo "fuzz-script: compiling ${#stale[@]} sources"
  pids=()
  for src in "${stale[@]}"; do
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" \
      -o "$out/obj/$(basename "$(dirname "$src")")_$(basename "${src%.cpp}").o" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
fi
objs=()
for src in "${sources[@]}"; do objs+=("$out/obj/$(basename "$(dirname "$src")")_$(basename "${src%.cpp}").o"); done
"$cxx" "${flags[@]}" -fsanitize=fuzzer "$top/tools/fuzz_script/fuzz_script.cpp" "${objs[@]}" -o "$out/fuzz_script"

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
fi

echo "fuzz-script: running fuzz_script for $secs s"
exec "$out/fuzz_script" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@" "$corpus"
