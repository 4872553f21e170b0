#!/usr/bin/env bash
# Screenshots of a race from the rider view, the orbit view and a track camera, taken by the
# game's own screenshot key under a virtual X server. Builds nothing: run a build first.
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR] [TRACK]
# Needs xvfb (Xvfb) and xdotool.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-screenshots}
track=${3:-pinehollow}
game="$build/zelvo"
[ -x "$game" ] || { echo "no $game: build the game first (scripts/build.sh $build)" >&2; exit 1; }
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The game saves screenshots in its home directory; give it a fresh one so the new pictures are
# the only ones there.
tmp_home=$(mktemp -d)
home=$tmp_home/.local/share/Zelvo
mkdir -p "$home"
display=:$((200 + RANDOM % 300))
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
start_game() {
  HOME=$tmp_home QUVA_LOGFILE="$out/$1.log" "$game" --track "$track" >"$out/$1.out" 2>&1 &
  gpid=$!
  # The race is on once the track loader logs its last line.
  for _ in $(seq 600); do
    grep -q "Max loading delay was" "$out/$1.log" 2>/dev/null && break
    kill -0 "$gpid" 2>/dev/null || { echo "the game stopped before the race started" >&2; exit 1; }
    sleep 0.1
  done
}

# Waits for the game window, then sends one key to it.
key() {
  local win
  win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -1 || true)
  if [ -n "$win" ]; then
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win" 2>/dev/null || true
    xdotool keydown --window "$win" "$1"; sleep 0.15; xdotool keyup --window "$win" "$1"
  else
    xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"
  fi
}
shot() {
  local before
  before=$(ls "$home" 2>/dev/null | grep -c '^screenshot' || true)
  key s
  for _ in $(seq 50); do
    [ "$(ls "$home" 2>/dev/null | grep -c '^screenshot')" -gt "$before" ] && break
    sleep 0.2
  done
  local file
  file=$(ls -t "$home" | grep '^screenshot' | head -1 || true)
  [ -n "$file" ] || { echo "no screenshot for $2" >&2; kill -0 "$gpid" 2>/dev/null || echo "the game is no longer running (see the .out and .log files in $out)" >&2; return 1; }
  sleep 0.5 # let the file be written completely
  cp "$home/$file" "$out/$2.png"
  echo "$out/$2.png"
  # The whole window as the X server shows it, beside the game's own picture.
  if command -v xwd >/dev/null && command -v python3 >/dev/null; then
    xwd -root -silent > "$out/$2.xwd" &&
      python3 scripts/xwd_png.py "$out/$2.xwd" "$out/$2-window.png" && rm -f "$out/$2.xwd" &&
      echo "$out/$2-window.png"
  fi
}

start_game zelvo
win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -1 || true)
# The player keeps a foot down at the gate (Sit/Dab, right Ctrl) so the bike stays up, then rides
# off with the throttle (x) held; the rider view is taken while it is still held. The gate drops
# 13 to 15 s into the race (a software-rendered game may run slower than real time, hence the
# longer wait).
xdotool keydown ${win:+--window "$win"} Control_R
sleep "${ZV_SHOT_WAIT:-25}"
xdotool keyup ${win:+--window "$win"} Control_R
xdotool keydown ${win:+--window "$win"} x
sleep "${ZV_RIDE_SECONDS:-4}"
shot s rider
xdotool keyup ${win:+--window "$win"} x
key Tab; sleep 2
shot s orbit
kill "$gpid"; wait "$gpid" 2>/dev/null || true

# While the player rides, Tab past the orbit view comes back to the rider view; the track cameras
# follow a rider who is not the player's. So the player's gate goes to a robot for this run, and
# the first robot in the lineup is watched.
echo "slot19=Robot" > "$home/config"
start_game zelvo-robots
sleep "${ZV_CAMERA_WAIT:-25}"
key Tab; sleep 1
key Tab; sleep 2
shot s camera
