#!/usr/bin/env bash
# Rebuilds the game-object module while the game runs and leaves it as
# gameobj_new.so next to the executable, where the game picks it up.
# The game starts this with RUNEHOLM_BIN_DIR (the executable's folder) and
# RUNEHOLM_HOST_SRC (the host's src/ folder) set; messages go to stdout.
set -uo pipefail
src=$(cd "$(dirname "$0")" && pwd)
bin=${RUNEHOLM_BIN_DIR:?RUNEHOLM_BIN_DIR is not set}
host_src=${RUNEHOLM_HOST_SRC:-$src/../src}
# One build folder per source folder, beside the executable's folder.
key=$(printf '%s' "$src" | cksum | cut -d' ' -f1)
build="$bin/../gameobj-rebuild/$key"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DRH_HOST_SRC="$host_src" 2>&1 || exit 1
fi
cmake --build "$build" 2>&1 || exit 1
# Copied under a temporary name first, so the game never sees half a file.
cp "$build/gameobj.so" "$bin/gameobj_new.so.part" && mv "$bin/gameobj_new.so.part" "$bin/gameobj_new.so" || exit 1
echo "gameobj_new.so ready"
