#!/usr/bin/env bash
# Builds the distance-field description loaders' fuzz targets with clang (libFuzzer +
# AddressSanitizer + UBSan) in their own folder, outside the CMake/GCC build, and runs one.
#
#   scripts/fuzz-fonts.sh [SECONDS] [TARGET] [extra libFuzzer flags...]
#
# SECONDS defaults to 60; TARGET is fuzz_distfont (font descriptions, default) or
# fuzz_disticons (icon descriptions). Each target builds into build-fuzz-fonts/TARGET/, with its
# corpus in corpus/ (seeded with small valid and cut descriptions) and crashes in artifacts/.
# Replay one input with `build-fuzz-fonts/TARGET/TARGET FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
target=${2:-fuzz_distfont}
shift $(( $# > 2 ? 2 : $# ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-fonts}

. "$top/scripts/fuzz-lib.sh"
case "$target" in
  fuzz_distfont) ;;
  fuzz_disticons) fuzz_flags+=(-DFUZZ_ICONS) ;;
  *) echo "fuzz-fonts: unknown target $target (fuzz_distfont or fuzz_disticons)" >&2; exit 2 ;;
esac
sources=("$top/src/render/distFont_file.cpp" "$top/tools/fuzz_fonts/fuzz_stubs.cpp"
         "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out/$target" "$target" "$top/tools/fuzz_fonts/fuzz_fonts.cpp" "$top/src/render $top/src/core $top/src/app" "${sources[@]}"

corpus="$out/$target/corpus"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  if [ "$target" = fuzz_distfont ]; then
    printf 'info face="T" size=10 spread=2\ncommon lineHeight=12 base=0 scaleW=64 scaleH=32\npage id=0 file="a"\nchars count=3\nchar id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=4\nchar id=65 x=0 y=0 width=8 height=10 xoffset=-1 yoffset=9 xadvance=6\nchar id=66 x=8 y=0 width=6 height=10 xoffset=0 yoffset=9 xadvance=5\nkernings count=2\nkerning first=65 second=66 amount=-1.5\nkerning first=66 second=65 amount=1\n' > "$corpus/valid"
    head -c 200 "$corpus/valid" > "$corpus/cut"
    if [ -f "$top/build/bin/fonts/default_font.fnt" ]; then head -n 60 "$top/build/bin/fonts/default_font.fnt" > "$corpus/generated"; fi
  else
    printf 'info file="a" scaleW=64 scaleH=32 spread=2\nicons count=2\nicon "star" 16 16 0 0 20 20 -10 10\nicon "ring" 12 14 20 0 16 18 -8 9\n' > "$corpus/valid"
    head -c 90 "$corpus/valid" > "$corpus/cut"
  fi
fi

fuzz_run "$out/$target" "$target" "$secs" "$@"
