#!/usr/bin/env bash
# A long run of the real program, headless, driven through the developer socket: a generated
# world with water and lava, the highest speed the socket allows, the camera flying, and every
# game minute one line of figures: resident memory (from /proc), live game objects, the mean
# time of one update step (the loop's update time over the speed) and frame time over the
# minute's samples, the water and lava cells and the
# grids' non-finite values ("gridCheck").
#
#   scripts/soak.sh [GAME_MINUTES]
#
# GAME_MINUTES defaults to 60; the first minute is the warm-up. It fails (exit 1) on a NaN or
# infinity in any grid, on a resident size at the end more than 10 % above the one after the
# warm-up minute, on a world without water or lava, or when the program stops or stops
# answering before the end. Figures go to standard output and build/soak/soak.log, the
# program's output to build/soak/output.txt. SOAK_SEED picks the world (a volcanic one by
# default), SOAK_WINDOW the window size argument (-360: 640 x 360), RUNEHOLM_BIN the folder of
# the executable and devclient.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-60}
bin=${RUNEHOLM_BIN:-$top/build/bin}
out=${SOAK_OUT:-$top/build/soak}
seed=${SOAK_SEED:-7}
window=${SOAK_WINDOW:--360}
steps_per_minute=1200 # 20 update steps a second
speed=16              # the highest factor "speed" takes: 16 update steps per loop update
sample_seconds=2

case "$minutes" in '' | *[!0-9]* | 0 | 1) echo "soak: GAME_MINUTES must be a whole number above 1" >&2; exit 2 ;; esac
for f in runeholm devclient; do
  [ -x "$bin/$f" ] || { echo "soak: $bin/$f is missing; build first (scripts/build.sh)" >&2; exit 2; }
done
mkdir -p "$out"
home=$(mktemp -d /tmp/rh-soak-XXXXXX)
sock=$home/dev.sock
report=$out/soak.log
: > "$report"
pid=

say() { echo "$*" | tee -a "$report"; }
fail() {
  say "SOAK FAILED: $*"
  exit 1
}
cleanup() {
  [ -n "${DEV_PID:-}" ] && kill "$DEV_PID" 2>/dev/null
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    sleep 2
    kill -9 "$pid" 2>/dev/null
  fi
  rm -rf "$home"
}
trap cleanup EXIT

# {===== The world: these functions are the places to extend the run

# Scripted input at start-up (game times in seconds, see src/devtools/scripted_input.h): the
# developer mode, then a game world from the seed. The default seed's kind is volcanic, so its
# generation leaves seas and lava fields.
world_keys() {
  echo "F9@0.05,SEED:$seed:game@0.2"
}

# Runs once the world is entered, on the soak's connection: the world's own water and lava,
# then the game's life on top (each `ask` must answer "k"): wyverns, caterpillars and a flock
# of birds with spawning left on, a forest fire, and the player's volcano and spring.
stir_world() {
  ask "gridCheck" || return 1
  local water lava
  water=$(field water_cells "$reply")
  lava=$(field lava_cells "$reply")
  say "world: seed $seed, $water water cells, $lava lava cells"
  [ "${water:-0}" -gt 0 ] && [ "${lava:-0}" -gt 0 ] || fail "the world has no water or no lava (seed $seed)"
  local k
  for k in 1 2 3; do
    ask "spawnMonster kind=wyvern x=$((k * 70)) z=$((k * 50))" || return 1
    ask "spawnMonster kind=caterpillar x=$((k * 60 + 20)) z=$((k * 40 + 90))" || return 1
  done
  ask "spawnMonster kind=bird x=128 z=128" || return 1
  ask "give spell=VolcanoSpell" || return 1
  ask "give spell=WaterSourceSpell" || return 1
  # Endless mana (Control+N), so the casts below never run dry.
  ask "key name=Ctrl down=1" && ask "key name=N" && ask "key name=Ctrl down=0" || return 1
  build_base || return 1
  stir_again 0
}

# The player's base: a castle where one fits with a guard tower beside it, every orb claimed so
# that its gatherers fly, and a tentacle in a lake. What the world has no room for is logged.
build_base() {
  ask "give spell=CastleSpell" && ask "give spell=GuardTowerSpell" || return 1
  local x z placed=
  for x in 40 80 120 160 200 240; do
    for z in 40 100 160 220; do
      if ask "castleSite x=$x z=$z"; then placed=1; break 2; fi
    done
  done
  if [ -n "$placed" ]; then
    ask "cast spell=CastleSpell x=$x z=$z" || return 1
    ask "cast spell=GuardTowerSpell x=$(( (x + 14) % 256 )) z=$z" || say "no guard tower: $reply"
  else
    say "no place for a castle in this world"
  fi
  ask "orbs" || return 1
  local orb id ox oy oz
  IFS=';' read -ra orbs <<< "$(field orbs "$reply")"
  for orb in "${orbs[@]}"; do
    IFS=, read -r id ox oy oz _ <<< "$orb"
    ask "setCamera x=$ox y=$(awk "BEGIN { print $oy + 12 }") z=$oz ha=0 va=-30" || return 1
    ask "claimMana x=$ox z=$oz fromCamera=1" || say "orb $id not claimed: $reply"
  done
  ask "spawnMonster kind=tentacle x=128 z=128" || say "no lake for a tentacle: $reply"
  ask "castle" || return 1
  say "base: castle$reply; ${#orbs[@]} orbs claimed"
}

# Every ten game minutes (and at the start): a fire in the thickest forest, a new volcano and
# a new spring somewhere else, so fire, lava and water keep moving for the whole run.
stir_again() {
  local minute=$1 x z
  if ask "forest"; then
    read -r x z _ <<< "$reply"
    ask "ignite x=$x z=$z" || return 1
  fi
  x=$(( (minute * 41 + 30) % 256 )) z=$(( (minute * 73 + 60) % 256 ))
  ask "cast spell=VolcanoSpell x=$x z=$z" || return 1
  ask "cast spell=WaterSourceSpell x=$(( (x + 90) % 256 )) z=$(( (z + 120) % 256 ))" || return 1
  ask "monsters" || return 1
  local creatures=$reply
  ask "castle" || return 1
  say "minute $minute: fire, volcano and spring started; creatures:$creatures; castle:$reply"
}

# Each game minute: the camera to another part of the world (looking down at the land ahead),
# flying forward with W held.
fly() {
  local minute=$1
  ask "setCamera x=$(( (minute * 97) % 256 )) y=70 z=$(( (minute * 53 + 40) % 256 )) ha=$(( (minute * 67) % 360 )) va=-30"
}

# {===== The connection: one devclient for the whole run (keys held on it stay held), opened
# once the socket answers; commands go to descriptor 3, replies come from 4.

reply=
# Sends one command; the reply (without its "k") is in $reply. False on an "e" reply or none.
ask() {
  echo "$1" >&3 || return 2
  local line
  if ! IFS= read -r -t 180 line <&4; then
    reply=
    return 2
  fi
  reply=${line#k}
  [ "${line:0:1}" = k ]
}
field() { [[ " $2 " =~ [[:space:]]$1=([^[:space:]]+) ]] && echo "${BASH_REMATCH[1]}"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null; }

alive_or_fail() {
  kill -0 "$pid" 2>/dev/null && return 0
  wait "$pid"
  local status=$?
  fail "the program stopped (exit status $status); the end of build/soak/output.txt:
$(tail -n 15 "$out/output.txt")"
}

# {===== Start-up

say "soak: $minutes game minutes, seed $seed, window $window, $(date -u '+%F %T') UTC"
start_ns=$(date +%s%N)
XDG_DATA_HOME=$home RUNEHOLM_DEV_SOCKET=$sock SDL_VIDEODRIVER=offscreen RUNEHOLM_HEADLESS=1 \
  ALSOFT_DRIVERS=null MESA_GL_VERSION_OVERRIDE=3.3 RUNEHOLM_TEST_KEYS="$(world_keys)" \
  "$bin/runeholm" -win "$window" -devserver > "$out/output.txt" 2>&1 &
pid=$!
for _ in $(seq 600); do
  alive_or_fail
  [ -S "$sock" ] && "$bin/devclient" -s "$sock" -t 5 checkServer > /dev/null 2>&1 && break
  sleep 0.5
done
[ -S "$sock" ] || fail "the developer socket did not open within 5 minutes"
coproc DEV { exec "$bin/devclient" -s "$sock" -t 120; }
exec 3>&"${DEV[1]}" 4<&"${DEV[0]}"

# The world is entered when the developer mode runs on a clock that moves past the seed's time.
for _ in $(seq 600); do
  alive_or_fail
  ask getState || fail "getState was not answered: '$reply'"
  mode=$(field mode "$reply")
  t=$(field world_time "$reply")
  [[ "$mode" == *Dev* ]] && [ "${t:-0}" -gt 20 ] && break
  sleep 0.5
done
[[ "$mode" == *Dev* ]] || fail "the developer mode was not entered (mode '$mode')"
say "world entered after $(( ($(date +%s%N) - start_ns) / 1000000 )) ms (real time)"
stir_world || fail "setting up the world failed: '$reply'"
ask "speed factor=$speed" || fail "speed: '$reply'"
ask "key name=W down=1" || fail "key: '$reply'"

# {===== The run

printf '%6s %10s %9s %8s %10s %10s %8s %8s %4s\n' minute world_time rss_MB objects step_ms frame_ms water lava nan | tee -a "$report"
ask getState || fail "getState: '$reply'"
t0=$(field world_time "$reply")
base_rss=
last_rss=
max_update=0
for minute in $(seq 1 "$minutes"); do
  fly "$minute" || fail "setCamera: '$reply'"
  if [ $((minute % 10)) = 0 ]; then stir_again "$minute" || fail "stirring the world failed: '$reply'"; fi
  samples=0 sum_update=0 sum_frame=0 objects=0
  while :; do
    alive_or_fail
    ask getState || { alive_or_fail; fail "getState was not answered: '$reply'"; }
    t=$(field world_time "$reply")
    samples=$((samples + 1))
    sum_update=$(awk -v a="$sum_update" -v b="$(field update_ms "$reply")" 'BEGIN { print a + b }')
    sum_frame=$(awk -v a="$sum_frame" -v b="$(field frame_ms "$reply")" 'BEGIN { print a + b }')
    objects=$(field objects "$reply")
    [ "$t" -ge $((t0 + minute * steps_per_minute)) ] && break
    sleep "$sample_seconds"
  done
  rss=$(rss_kb)
  ask gridCheck || fail "gridCheck: '$reply'"
  nan=$(field nan "$reply")
  water=$(field water_cells "$reply")
  lava=$(field lava_cells "$reply")
  printf '%6d %10d %9.1f %8d %10.2f %10.2f %8d %8d %4d\n' "$minute" "$t" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
    "$objects" "$(awk -v s="$sum_update" -v n="$samples" -v k="$speed" 'BEGIN { print s / n / k }')" \
    "$(awk -v s="$sum_frame" -v n="$samples" 'BEGIN { print s / n }')" "$water" "$lava" "$nan" | tee -a "$report"
  [ "$nan" = 0 ] || fail "non-finite values in the grids at minute $minute: $reply"
  [ "$minute" = 1 ] && base_rss=$rss
  last_rss=$rss
done

# {===== The end

ask "key name=W down=0"
ask quit
exec 3>&-
for _ in $(seq 120); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end within 60 s of \"quit\""
wait "$pid"
status=$?
pid=
[ "$status" = 0 ] || fail "the program ended with exit status $status"
growth=$(awk -v a="$base_rss" -v b="$last_rss" 'BEGIN { printf "%.1f", (b - a) * 100 / a }')
say "resident memory after the warm-up minute $((base_rss / 1024)) MB, at the end $((last_rss / 1024)) MB ($growth %)"
say "real time $(( ($(date +%s%N) - start_ns) / 1000000000 )) s for $minutes game minutes"
awk -v g="$growth" 'BEGIN { exit !(g > 10) }' && fail "resident memory grew by $growth % (limit 10 %)"
say "soak passed"
