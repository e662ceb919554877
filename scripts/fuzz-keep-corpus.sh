#!/usr/bin/env bash
# Keeps what a fuzz run found for the regression suite: merges the target's corpus into
# tests/fuzz/TARGET with libFuzzer's -merge=1 (only inputs that add coverage), then keeps the
# MAX smallest of the merged inputs (default 40) beside the named files there (hand-made seeds and
# reproducers, which always stay). Run the target's script first, so its binary and corpus exist.
#
#   scripts/fuzz-keep-corpus.sh TARGET [MAX]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: fuzz-keep-corpus.sh TARGET [MAX]}
max=${2:-40}
case "$target" in
  fuzz_squirrel | fuzz_regexp) dir=$top/build-fuzz bin=$dir/$target corpus=$dir/corpus-$target ;;
  fuzz_distfont | fuzz_disticons) dir=$top/build-fuzz-fonts/$target bin=$dir/$target corpus=$dir/corpus ;;
  fuzz_*) dir=$top/build-${target//_/-} bin=$dir/$target corpus=$dir/corpus ;;
  *) echo "fuzz-keep-corpus: unknown target '$target'" >&2; exit 2 ;;
esac
[ -x "$bin" ] && [ -d "$corpus" ] || { echo "fuzz-keep-corpus: run the target first ($bin, $corpus)" >&2; exit 2; }

dest=$top/tests/fuzz/$target
tmp=$(mktemp -d /tmp/rh-fuzz-keep-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$dest" "$tmp/in" "$tmp/out"
cp -p "$dest"/. "$tmp/in"/ -r
nice -n 10 "$bin" -merge=1 -timeout=30 -rss_limit_mb=2048 "$tmp/out" "$tmp/in" "$corpus" > "$tmp/merge.log" 2>&1 ||
  { tail -n 20 "$tmp/merge.log" >&2; exit 1; }
# Merged inputs are named by their SHA-1; the earlier ones are replaced by this merge's choice,
# and copies of the named files are dropped.
for f in "$dest"/*; do
  [ -f "$f" ] && [[ ! "$(basename "$f")" =~ ^[0-9a-f]{40}$ ]] && rm -f "$tmp/out/$(sha1sum < "$f" | cut -c1-40)"
done
find "$dest" -maxdepth 1 -type f -regextype egrep -regex '.*/[0-9a-f]{40}' -delete
# shellcheck disable=SC2012
ls -S -r "$tmp/out" | head -n "$max" | while read -r f; do
  [[ "$f" =~ ^[0-9a-f]{40}$ ]] && cp "$tmp/out/$f" "$dest/"
done
echo "$target: $(ls "$tmp/out" | wc -l) inputs after the merge; tests/fuzz/$target holds $(ls "$dest" | wc -l) files ($(du -sh "$dest" | cut -f1))"
