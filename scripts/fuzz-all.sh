#!/usr/bin/env bash
# Builds and runs every fuzz target for the given time, one after the other (niced: the machine
# is shared), then prints a summary: target, runs, edges when the corpus was loaded and at the
# end, and what went wrong.
#
#   scripts/fuzz-all.sh [SECONDS] [TARGET...]
#
# SECONDS defaults to 60 per target; naming targets runs only those (see `fuzz_targets` below
# or docs/fuzzing.md). Each target's output is kept in build-fuzz-all/TARGET.log. The exit code
# is non-zero when a target could not be built or found a crash, leak, timeout or out-of-memory
# input; the summary names the reproducer it wrote (replay it with the target's binary).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
logs=${FUZZ_ALL_LOGS:-$top/build-fuzz-all}
mkdir -p "$logs"

# target  script  arguments after SECONDS
fuzz_targets=(
  "fuzz_squirrel    fuzz-squirrel.sh    fuzz_squirrel"
  "fuzz_regexp      fuzz-squirrel.sh    fuzz_regexp"
  "fuzz_script      fuzz-script.sh"
  "fuzz_saves       fuzz-saves.sh"
  "fuzz_bindings    fuzz-bindings.sh"
  "fuzz_devserver   fuzz-devserver.sh"
  "fuzz_distfont    fuzz-fonts.sh       fuzz_distfont"
  "fuzz_disticons   fuzz-fonts.sh       fuzz_disticons"
  "fuzz_mesh        fuzz-mesh.sh"
  "fuzz_textures    fuzz-textures.sh"
  "fuzz_shadercache fuzz-shadercache.sh"
  "fuzz_config      fuzz-config.sh"
)

wanted() {
  [ $# -eq 1 ] && return 0
  local t=$1
  shift
  for w in "$@"; do [ "$w" = "$t" ] && return 0; done
  return 1
}

# The number after "cov: " on the last line of the log matching a pattern.
edges() { grep -E "$1" "$2" | tail -n 1 | sed -nE 's/.*cov: ([0-9]+).*/\1/p'; }

summary=()
failed=0
for entry in "${fuzz_targets[@]}"; do
  read -r target script args <<< "$entry"
  wanted "$target" "$@" || continue
  log="$logs/$target.log"
  echo "== $target ($secs s)"
  # shellcheck disable=SC2086
  nice -n 10 "$top/scripts/$script" "$secs" $args > "$log" 2>&1
  status=$?
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  start=$(edges 'INITED' "$log")
  end=$(edges '(DONE|NEW|REDUCE|pulse|INITED) ' "$log")
  repro=$(sed -nE 's/.*Test unit written to (.*)$/\1/p' "$log" | tail -n 1)
  if [ $status -eq 0 ]; then
    result="ok"
  elif [ -n "$repro" ]; then
    result="FOUND: $(grep -m1 -oE 'ERROR: [A-Za-z]+: [a-z-]+|ERROR: libFuzzer: [a-z-]+|SUMMARY: [A-Za-z]+: [^ ]+' "$log" | head -n 1) -> $repro"
    failed=1
  elif [ -z "$runs" ]; then
    result="BUILD OR START FAILED (exit $status, see $log)"
    failed=1
  else
    result="FAILED (exit $status, see $log)"
    failed=1
  fi
  echo "   $result"
  summary+=("$(printf '%-17s %10s %8s %9s  %s' "$target" "${runs:--}" "${start:--}" "${end:--}" "$result")")
done

echo
printf '%-17s %10s %8s %9s  %s\n' target runs 'edges@0' 'edges@end' result
for line in "${summary[@]}"; do echo "$line"; done
exit $failed
