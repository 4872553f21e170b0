#!/usr/bin/env bash
# Screenshots of a race with the whole HUD: at 640x480 and 1280x720, with 8 and with 40 riders.
# For each: the rider view a few seconds after the gate drop (instruments, pit board, map, text
# column with FPS, time and speed), and a track camera watching a robot (running-order ticker).
# Taken with the game's own screenshot key under a virtual X server; builds nothing.
#   scripts/hud_screenshots.sh [BUILD_DIR] [OUT_DIR] [TRACK]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-screenshots/hud}
track=${3:-pinehollow}
game="$build/zelvo"
[ -x "$game" ] || { echo "no $game: build the game first (scripts/build.sh $build)" >&2; exit 1; }
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
tmp_home=$(mktemp -d)
home=$tmp_home/.local/share/Zelvo
display=:$((200 + RANDOM % 300))
xpid=
gpid=
# One X screen of the picture's size: the game's window fills the screen it is given.
screen() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
  Xvfb "$display" -screen 0 "$1x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  xpid=$!
  sleep 1
}
cleanup() {
  [ -n "$gpid" ] && kill "$gpid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp_home"
}
trap cleanup EXIT
export DISPLAY=$display

# The gate: the player (when asked) in the first slot, robots behind, the rest empty.
lineup() {
  local riders=$1 player=$2
  rm -rf "$home" && mkdir -p "$home"
  for i in $(seq 0 39); do
    local kind=Empty
    [ "$i" -lt "$riders" ] && kind=Robot
    [ "$i" -eq 0 ] && [ "$player" = 1 ] && kind=Human
    printf 'slot%02d=%s\n' "$i" "$kind"
  done >"$home/config"
}

start_game() {
  local size=$1 name=$2
  HOME=$tmp_home QUVA_LOGFILE="$out/$name.log" "$game" --track "$track" --width "${size%x*}" \
    --height "${size#*x}" --draw-fps 1 --draw-time 1 --draw-speed 1 >"$out/$name.out" 2>&1 &
  gpid=$!
  for _ in $(seq 900); do
    grep -q "Max loading delay was" "$out/$name.log" 2>/dev/null && break
    kill -0 "$gpid" 2>/dev/null || { echo "the game stopped before the race started" >&2; exit 1; }
    sleep 0.1
  done
  win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -1 || true)
}

press() {
  xdotool keydown ${win:+--window "$win"} "$1"; sleep 0.15; xdotool keyup ${win:+--window "$win"} "$1"
}

shot() {
  local before file
  before=$(ls "$home" 2>/dev/null | grep -c '^screenshot' || true)
  press s
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

stop_game() {
  kill "$gpid" 2>/dev/null || true
  wait "$gpid" 2>/dev/null || true
  gpid=
}

for size in 640x480 1280x720; do
  screen "$size"
  for riders in 8 40; do
    # The rider view: a foot down at the gate, then the throttle held after the drop.
    lineup "$riders" 1
    start_game "$size" "rider-$size-$riders"
    xdotool keydown ${win:+--window "$win"} Control_R
    sleep "${ZV_SHOT_WAIT:-22}"
    xdotool keyup ${win:+--window "$win"} Control_R
    xdotool keydown ${win:+--window "$win"} x
    sleep "${ZV_RIDE_SECONDS:-4}"
    shot "rider-$size-$riders"
    xdotool keyup ${win:+--window "$win"} x
    stop_game
    # A track camera on the robots' race: the running-order ticker along the top.
    lineup "$riders" 0
    start_game "$size" "camera-$size-$riders"
    sleep "${ZV_CAMERA_WAIT:-22}"
    press Tab; sleep 1
    press Tab; sleep 2
    shot "camera-$size-$riders"
    stop_game
  done
done
