#!/usr/bin/env bash
# Builds the Squirrel fuzz targets with clang (libFuzzer + AddressSanitizer + UBSan) in their
# own folder, outside the CMake/GCC build, and runs one of them for a number of seconds.
#
#   scripts/fuzz-squirrel.sh [SECONDS] [TARGET] [extra libFuzzer flags...]
#
# SECONDS defaults to 60; TARGET is fuzz_squirrel (scripts, default) or fuzz_regexp (the
# regular-expression engine alone). The corpus lives in build-fuzz/corpus-TARGET and is seeded
# from the conformance scripts (the benchmarks are too slow under the sanitizers); crashes are
# written to build-fuzz/artifacts/. `build-fuzz/TARGET FILE` replays one input.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
target=${2:-fuzz_squirrel}
shift $(( $# > 2 ? 2 : $# ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz}
jobs=${FUZZ_JOBS:-2}
cxx=${CXX_FUZZ:-clang++}
# Compilations go through CMAKE_CXX_COMPILER_LAUNCHER (ccache) when it is set.
read -ra launch <<< "${CMAKE_CXX_COMPILER_LAUNCHER:-}"

case "$target" in
  fuzz_squirrel|fuzz_regexp) ;;
  *) echo "fuzz-squirrel: unknown target $target (fuzz_squirrel or fuzz_regexp)" >&2; exit 2 ;;
esac

# Compile from a snapshot of the runtime, so sources edited during the build cannot leave
# objects compiled against two versions of a header. Objects are rebuilt when their source
# changed since the last snapshot, all of them when any header did.
snap="$out/src"
mkdir -p "$out/obj" "$out/artifacts" "$snap"
rm -rf "$snap.new"
mkdir -p "$snap.new"
cp -p "$top"/src/squirrel/*.cpp "$top"/src/squirrel/*.h "$snap.new"/
cp -rp "$top/src/squirrel/include" "$snap.new/include"
headers_changed=0
for h in "$snap.new"/*.h "$snap.new"/include/*.h; do
  rel=${h#"$snap.new"/}
  cmp -s "$h" "$snap/$rel" || headers_changed=1
done
for h in "$snap"/*.h "$snap"/include/*.h; do
  [ -e "$h" ] || continue
  [ -e "$snap.new/${h#"$snap"/}" ] || headers_changed=1
done

if [ "$target" = fuzz_regexp ]; then
  # the engine alone builds even while the rest of the runtime is mid-change
  names=(sqstd_regexp)
else
  names=()
  for src in "$snap.new"/*.cpp; do names+=("$(basename "${src%.cpp}")"); done
fi
stale=()
for n in "${names[@]}"; do
  obj="$out/obj/$n.o"
  if [ "$headers_changed" = 1 ] || [ ! -f "$obj" ] || ! cmp -s "$snap.new/$n.cpp" "$snap/$n.cpp"; then
    stale+=("$n")
  fi
done
for obj in "$out"/obj/*.o; do
  [ -e "$obj" ] || continue
  [ -f "$snap.new/$(basename "${obj%.o}").cpp" ] || rm -f "$obj"
done
rm -rf "$snap"
mv "$snap.new" "$snap"

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I"$snap" -I"$snap/include")
if [ ${#stale[@]} -gt 0 ]; then
  echo "fuzz-squirrel: compiling ${#stale[@]} runtime sources"
  pids=()
  for n in "${stale[@]}"; do
    rm -f "$out/obj/$n.o"
    "${launch[@]}" "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$snap/$n.cpp" -o "$out/obj/$n.o" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
fi
objs=()
for n in "${names[@]}"; do objs+=("$out/obj/$n.o"); done
"$cxx" "${flags[@]}" -fsanitize=fuzzer "$top/tools/fuzz_squirrel/$target.cpp" "${objs[@]}" -o "$out/$target"

corpus="$out/corpus-$target"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  if [ "$target" = fuzz_squirrel ]; then
    cp "$top"/tests/squirrel/conformance/*.nut "$corpus"/
    if [ -d "$top/tests/squirrel/fuzz_regressions" ]; then
      cp "$top"/tests/squirrel/fuzz_regressions/* "$corpus"/ 2>/dev/null || true
    fi
  else
    # pattern NUL subject, from the regexp conformance cases
    i=0
    for p in '(\d+)-(\d+)' '\m()' '(a|b)*c' '[^aeiou ]+' '^\w+@(\w+)\.(com|org)$' 'a{2,3}' '(?:ab)+c' '\bfoo\b'; do
      printf '%s\0%s' "$p" "x(a(b)c) 12-345 ababc foo bar@site.org aaaab" > "$corpus/seed$i"
      i=$((i + 1))
    done
  fi
fi

dict=()
[ "$target" = fuzz_squirrel ] && dict=(-dict="$top/tools/fuzz_squirrel/squirrel.dict")
# The regression suite's saved inputs are read as a second corpus, never written.
saved=()
[ -d "$top/tests/fuzz/$target" ] && saved=("$top/tests/fuzz/$target")
echo "fuzz-squirrel: running $target for $secs s"
exec "$out/$target" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 "${dict[@]}" "$@" "$corpus" "${saved[@]}"
