# Shared by the fuzz scripts: builds one libFuzzer target with clang (AddressSanitizer + UBSan)
# in its own folder, outside the CMake/GCC build. Source this file, set `top`, then call
#
#   fuzz_build OUT NAME HARNESS "HEADER_DIRS..." SOURCES...
#
# Only sources newer than their objects, or older than any header in HEADER_DIRS, are
# recompiled. FUZZ_JOBS sets the parallel compilations, CXX_FUZZ the compiler; libraries the
# target links (e.g. from pkg-config) go in the array fuzz_libs. Compilations go through
# CMAKE_CXX_COMPILER_LAUNCHER when it is set (ccache), as the CMake build's do: the targets share
# most of their sources.
fuzz_flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
            -fno-sanitize-recover=undefined -I"$top/src" -I"$top/src/squirrel" -I"$top/src/squirrel/include")
fuzz_libs=()

fuzz_build() {
  local out=$1 name=$2 harness=$3 header_dirs=$4
  shift 4
  local cxx=${CXX_FUZZ:-clang++} jobs=${FUZZ_JOBS:-2}
  local launch
  read -ra launch <<< "${CMAKE_CXX_COMPILER_LAUNCHER:-}"
  mkdir -p "$out/obj" "$out/artifacts"
  objname() { echo "$out/obj/$(basename "$(dirname "$1")")_$(basename "${1%.cpp}").o"; }
  local src obj stale=() objs=() pids=()
  for src in "$@"; do
    obj=$(objname "$src")
    # shellcheck disable=SC2086
    if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] ||
       [ -n "$(find $header_dirs -name '*.h' -newer "$obj" -print -quit)" ]; then
      stale+=("$src")
    fi
    objs+=("$obj")
  done
  if [ ${#stale[@]} -gt 0 ]; then
    echo "$name: compiling ${#stale[@]} sources"
    for src in "${stale[@]}"; do
      "${launch[@]}" "$cxx" "${fuzz_flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$(objname "$src")" &
      pids+=($!)
      if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
    done
    for pid in "${pids[@]}"; do wait "$pid"; done
  fi
  "$cxx" "${fuzz_flags[@]}" -fsanitize=fuzzer "$harness" "${objs[@]}" "${fuzz_libs[@]}" -o "$out/$name"
}

# Runs OUT/NAME on OUT/corpus for SECONDS with the common limits and any extra flags. The saved
# inputs of the regression suite (tests/fuzz/NAME) are read as a second corpus, never written.
fuzz_run() {
  local out=$1 name=$2 secs=$3
  shift 3
  local saved=()
  [ -d "$top/tests/fuzz/$name" ] && saved=("$top/tests/fuzz/$name")
  mkdir -p "$out/corpus"
  echo "$name: running for $secs s"
  exec "$out/$name" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$@" "$out/corpus" "${saved[@]}"
}
