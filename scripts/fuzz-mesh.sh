#!/usr/bin/env bash
# Builds the ".r3d" mesh reader's fuzz target with clang (libFuzzer + AddressSanitizer + UBSan)
# in its own folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-mesh.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-mesh/corpus and is seeded with the
# generated meshes of build/bin (when built) and a hand-made quad; crashes are written to
# build-fuzz-mesh/artifacts/. Replay one input with `build-fuzz-mesh/fuzz_mesh FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-mesh}

. "$top/scripts/fuzz-lib.sh"
sources=("$top/src/render/mesh_file.cpp" "$top/src/core/stream.cpp" "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_mesh "$top/tools/fuzz_mesh/fuzz_mesh.cpp" "$top/src/core $top/src/render $top/src/app" "${sources[@]}"

corpus="$out/corpus"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  # A textured unit quad of two triangles (class "Simple", 32-byte vertices).
  printf '\x00\x02\x03\x14\x07\x6d\x65\x73\x68\x2e\x73\x68\x00\x06\x53\x69\x6d\x70\x6c\x65\x00\x01\x05\x71\x2e\x64\x64\x73\x00\x00\x00\x00\x00\x3f\x00\x00\x00\x00\x00\x00\x00\x3f\x8f\xc2\x35\x3f\x03\x00\x00\x00\x03\x00\x00\x0c\x00\x00\x03\x01\x00\x18\x00\x00\x02\x03\x00\x20\x00\x00\x00\x04\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x00\x00\x01\x00\x02\x00\x00\x00\x02\x00\x03\x00' > "$corpus/quad.r3d"
  # Small real meshes make better seeds than big ones.
  for m in stone1 menhir2 tree1flod castle_wall1 gatherer_body ctrplr_body01; do
    [ -f "$top/build/bin/$m.r3d" ] && cp "$top/build/bin/$m.r3d" "$corpus/"
  done
fi

fuzz_run "$out" fuzz_mesh "$secs" -max_len=65536 "$@"
