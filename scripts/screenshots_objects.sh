#!/usr/bin/env bash
# Screenshots of the default track's objects: the starting gate, start box, banners and the
# starter as the race begins (his board changes with the race clock), the roost behind the
# player's rear wheel, and the view of each track camera, taken with the game's screenshot key
# under a virtual X server. Builds nothing: run a build first.
#   scripts/screenshots_objects.sh [BUILD_DIR] [OUT_DIR]
# Needs xvfb (Xvfb) and xdotool.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-screenshots}
game="$build/zelvo"
[ -x "$game" ] || { echo "no $game: build the game first (scripts/build.sh $build)" >&2; exit 1; }
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
tmp_home=$(mktemp -d)
home=$tmp_home/.local/share/Zelvo
mkdir -p "$home"
display=${ZV_DISPLAY:-:$((200 + RANDOM % 300))}
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xpid=$!
gpid=
cleanup() {
  [ -n "$gpid" ] && kill "$gpid" 2>/dev/null || true
  kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp_home"
}
trap cleanup EXIT
sleep 1
export DISPLAY=$display
# The game's own screenshot key; the newest picture in its home folder is the one.
grab() {
  local before file
  before=$(ls "$home" 2>/dev/null | grep -c '^screenshot' || true)
  xdotool key s
  for _ in $(seq 50); do
    [ "$(ls "$home" 2>/dev/null | grep -c '^screenshot')" -gt "$before" ] && break
    sleep 0.2
  done
  file=$(ls -t "$home" | grep '^screenshot' | head -1 || true)
  [ -n "$file" ] || { echo "no screenshot for $1" >&2; return 1; }
  sleep 0.5
  cp "$home/$file" "$out/$1.png"
  echo "$out/$1.png"
}
start_game() {
  HOME=$tmp_home LIBGL_ALWAYS_SOFTWARE=1 QUVA_LOGFILE="$out/$1.log" "$game" --track pinehollow \
    >"$out/$1.out" 2>&1 &
  gpid=$!
  for _ in $(seq 600); do
    grep -q "Max loading delay was" "$out/$1.log" 2>/dev/null && break
    kill -0 "$gpid" 2>/dev/null || { echo "the game stopped before the race started" >&2; exit 1; }
    sleep 0.1
  done
}
key() { xdotool key "$1"; }

# The player at the gate: the starter ahead holds his board edge-on, shows it after the 5 s mark
# and walks off the pad; the gate boards fall at the drop.
start_game objects
sleep 1.5; grab objects-start
sleep 4.5; grab objects-starter-board
sleep 3; grab objects-starter-walking
# After the drop the player rides off with the throttle held: dirt flies from the rear wheel.
sleep 8
xdotool keydown x; sleep 2.5
key Tab; sleep 1.5; grab roost
xdotool keyup x
kill "$gpid"; wait "$gpid" 2>/dev/null || true

# Each track camera filming a robot (the player's gate goes to a robot, so the view stays on the
# cameras).
echo "slot19=Robot" > "$home/config"
start_game cameras
sleep 20
key Tab; sleep 1; key Tab; sleep 1
for c in 1 2 3 4 5 6; do
  key "$c"; sleep 2; grab "camera-$c"
done
