#!/usr/bin/env bash
# Builds the developer server's message fuzz target with clang (libFuzzer + AddressSanitizer +
# UBSan) in its own folder, outside the CMake/GCC build, and runs it for a number of seconds.
#
#   scripts/fuzz-devserver.sh [SECONDS] [extra libFuzzer flags...]
#
# SECONDS defaults to 60. The corpus lives in build-fuzz-devserver/corpus and is seeded with one
# message of every command; crashes are written to build-fuzz-devserver/artifacts/. Replay one
# input with `build-fuzz-devserver/fuzz_devserver FILE`.
# Set FUZZ_BUILD_DIR to build elsewhere and FUZZ_JOBS for parallel compilation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
out=${FUZZ_BUILD_DIR:-$top/build-fuzz-devserver}

. "$top/scripts/fuzz-lib.sh"
sources=("$top/src/devtools/dev_server.cpp" "$top/src/devtools/dev_message.cpp"
         "$top/src/devtools/dev_message_text.cpp" "$top/src/devtools/local_server.cpp"
         "$top/src/core/stream.cpp" "$top/tools/fuzz_devserver/fuzz_stubs.cpp"
         "$top/tools/fuzz_common/log_stubs.cpp")
fuzz_build "$out" fuzz_devserver "$top/tools/fuzz_devserver/fuzz_devserver.cpp" "$top/src/devtools $top/src/core $top/src/app" "${sources[@]}"

# Seeds: one well-formed message per command, written from the text form by the target's own
# encoder rules (command and names as length-prefixed strings, 'i' int32, 'd' double, 's' string).
corpus="$out/corpus"
mkdir -p "$corpus"
if [ -z "$(ls -A "$corpus")" ]; then
  seed() { printf "$2" > "$corpus/$1"; }
  seed check '\x0bcheckServer'
  seed camera '\x09setCamera\x01xi\x0a\x00\x00\x00\x01yd\x00\x00\x00\x00\x00\x00\x44\x40\x01zi\x00\x00\x00\x00\x02hai\x5a\x00\x00\x00\x02vai\xf6\xff\xff\xff'
  seed palette '\x10setWorldPalColor\x04names\x05grass\x05colori\x00\xff\x00\xff'
  seed window '\x0csetWindowPos\x04lefti\x00\x00\x00\x00\x03topi\x00\x00\x00\x00\x05widthi\x80\x02\x00\x00\x06heighti\x68\x01\x00\x00'
  seed key '\x03key\x04names\x02F9\x04downi\x01\x00\x00\x00'
  seed mouse '\x05mouse\x01xi\x0a\x00\x00\x00\x01yi\x0a\x00\x00\x00\x06buttoni\x02\x00\x00\x00'
  seed speed '\x05speed\x06factord\x00\x00\x00\x00\x00\x00\x10\x40'
  seed state '\x08getState'
  seed count '\x05count\x05classs\x0aTreeObject'
  seed text 'setCamera x=1 y=2.5 z="3" ha:d=4 va=-5'
fi

fuzz_run "$out" fuzz_devserver "$secs" "$@"
