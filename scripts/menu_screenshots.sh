#!/usr/bin/env bash
# Screenshots of the menus as a player sees them: the main menu, race setup, bike setup,
# Customize Controls and the graphics page, at each screen size given, under a virtual X server
# with keys sent to the game. Builds nothing: run a build first.
#   scripts/menu_screenshots.sh [BUILD_DIR] [OUT_DIR] [SIZE...]     (sizes like 640x480)
# Needs xvfb (Xvfb), xdotool and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-screenshots}
shift $(( $# > 2 ? 2 : $# ))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(640x480 1920x1080)
game="$build/zelvo"
[ -x "$game" ] || { echo "no $game: build the game first (scripts/build.sh $build)" >&2; exit 1; }
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (apt-get install xvfb xdotool)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

for size in "${sizes[@]}"; do
  width=${size%x*}
  height=${size#*x}
  tmp_home=$(mktemp -d)
  display=:$((200 + RANDOM % 300))
  Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  xpid=$!
  sleep 1
  export DISPLAY=$display
  # The pointer out of the way first, so the keys alone choose the lit item.
  xdotool mousemove "$width" "$height"
  HOME=$tmp_home "$game" >"$out/menus-$size.out" 2>&1 &
  gpid=$!
  # The title screen with its menu is up once the window shows.
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$gpid" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 3
  keys() { for k in "$@"; do xdotool key "$k"; sleep 0.25; done; }
  shot() { sleep 1; python3 scripts/x11_grab.py "$out/$1-$size.png" "$width" "$height"; echo "$out/$1-$size.png"; }
  shot main-menu
  keys Return; shot race-setup
  keys Escape Escape Down Down Down Down Down Return; shot bike-setup
  keys Escape Escape Down Down Down Down Down Down Down Return; shot controls
  keys Escape Escape Down Down Down Down Down Down Return; shot graphics
  kill "$gpid" 2>/dev/null || true
  wait "$gpid" 2>/dev/null || true
  kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp_home"
done
