#!/usr/bin/env bash
# Runs every benchmark script in this folder once with the given interpreter and compares
# its standard output byte for byte with the matching .out file (no timing: that is the
# benchmark program's job).
#
#   ./check.sh PATH_TO_INTERPRETER
#
# The last line is "N passed, M failed"; the exit status is 0 only when every script passed.
set -u
if [ $# -ne 1 ]; then
  echo "usage: $0 PATH_TO_INTERPRETER" >&2
  exit 2
fi
interp=$1
if [ ! -x "$interp" ]; then echo "interpreter not found or not executable: $interp" >&2; exit 2; fi
interp=$(cd "$(dirname "$interp")" && pwd)/$(basename "$interp")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here" || exit 2

tmp=$(mktemp -d "${TMPDIR:-/tmp}/sqbench.XXXXXX") || exit 2
trap 'rm -rf "$tmp"' EXIT

passed=0
failed=0
for script in *.nut; do
  name=${script%.nut}
  if [ ! -f "$name.out" ]; then
    echo "FAIL $name: missing expected output $name.out"
    failed=$((failed + 1))
    continue
  fi
  timeout 120 "$interp" "$script" > "$tmp/$name" 2> "$tmp/$name.err" < /dev/null
  rc=$?
  if [ $rc -eq 0 ] && cmp -s "$name.out" "$tmp/$name"; then
    passed=$((passed + 1))
  else
    echo "FAIL $name (exit status $rc)"
    diff -u --label "expected/$name.out" --label "actual/$name" "$name.out" "$tmp/$name" | head -n 50
    head -n 20 "$tmp/$name.err"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
