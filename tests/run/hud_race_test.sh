#!/usr/bin/env bash
# The game started as a player starts it, racing robots on the default track under a virtual X
# server, with its frames written to standard output: the HUD is drawn over the race (the pit
# board in the bottom-left corner, the tachometer's dial in the bottom-right one, the map in the
# top-right one), and --hidden-hud leaves those places to the race picture; paused, "Paused"
# stands in the middle of the screen unless --hidden-pause.
#   hud_race_test.sh GAME_BINARY
# Exit 0 on success, 77 when the machine has no Xvfb or xdotool (ctest reports a skip).
set -uo pipefail
game=$1
here=$(cd "$(dirname "$0")" && pwd)
close_tool=$here/../../scripts/x11_close.py
source "$(dirname "$0")/xvfb_session.sh"
keep_files() { [ -n "${ZV_KEEP:-}" ] && cp "$tmp"/*.ppm "$ZV_KEEP"/ 2>/dev/null; }
xvfb_session 640x480
fail() {
  echo "FAIL: $*"
  [ -f "$tmp/game.log" ] && tail -n 20 "$tmp/game.log"
  exit 1
}

# Runs a race of 8 robots at 640x480 until `frames` video frames came out, then closes the
# window; extra arguments go to the game.
race() {
  local name=$1 frames=$2
  shift 2
  mkdir -p "$HOME/data/Zelvo"
  for i in $(seq 0 39); do
    kind=Empty
    [ "$i" -lt 8 ] && kind=Robot
    printf 'slot%02d=%s\n' "$i" "$kind"
  done >"$HOME/data/Zelvo/config"
  QUVA_LOGFILE=$tmp/game.log "$game" --track pinehollow --width 640 --height 480 --lock-fps 8 --nosound \
    --record-video "$@" >"$tmp/$name.ppm" 2>"$tmp/$name.err" &
  gpid=$!
  local frame=$((640 * 480 * 3 + 15)) win=
  for _ in $(seq 1800); do
    kill -0 "$gpid" 2>/dev/null || fail "the game ended early ($name)"
    [ "$(stat -c %s "$tmp/$name.ppm")" -ge $((frame * frames)) ] && break
    sleep 0.1
  done
  win=$(xdotool search --pid "$gpid" 2>/dev/null | head -1)
  [ -n "$win" ] || fail "no game window ($name)"
  # Paused (no more video frames while paused), then the game's own screenshot.
  local shots=$HOME/data/Zelvo
  rm -f "$shots"/screenshot*.png
  xdotool windowfocus "$win" 2>/dev/null
  for key in Pause s; do
    xdotool keydown "$key"; sleep 0.3; xdotool keyup "$key"; sleep 1
  done
  for _ in $(seq 100); do ls "$shots"/screenshot*.png >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 0.5
  local shot
  shot=$(ls "$shots"/screenshot*.png 2>/dev/null | head -1)
  [ -n "$shot" ] && mv "$shot" "$tmp/$name-paused.png" || fail "no screenshot ($name)"
  python3 "$close_tool" "$win" || fail "could not close the window"
  for _ in $(seq 600); do kill -0 "$gpid" 2>/dev/null || break; sleep 0.1; done
  wait "$gpid" 2>/dev/null
  gpid=
}

# The last whole frame of a recording: "name x y" -> r g b of that pixel.
probe() {
  python3 - "$tmp/$1.ppm" "${@:2}" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
head = b'P6\n640 480\n255\n'
size = len(head) + 640 * 480 * 3
start = data.rfind(head, 0, len(data) - size + 1)
if start < 0:
    sys.exit('no whole frame')
px = data[start + len(head):start + size]
for x, y in zip(sys.argv[2::2], sys.argv[3::2]):
    i = (int(y) * 640 + int(x)) * 3
    print(px[i], px[i + 1], px[i + 2])
EOF
}

# Pure white pixels in the middle band of a screenshot (the "Paused" text is drawn in white).
white_in_middle() {
  python3 - "$tmp/$1-paused.png" <<'EOF2'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
pos, idat, w, h = 8, b'', 0, 0
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b'IHDR':
        w, h = struct.unpack('>II', body[:8])
    elif kind == b'IDAT':
        idat += body
    pos += 12 + n
raw, stride, rows, prev = zlib.decompress(idat), w * 3, [], bytearray(w * 3)
for y in range(h):
    f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - 3] if i >= 3 else 0
        b, c = prev[i], prev[i - 3] if i >= 3 else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
print(sum(1 for y in range(h * 2 // 5, h * 3 // 5) for x in range(w // 4, w * 3 // 4)
          if rows[y][x * 3] == 255 and rows[y][x * 3 + 1] == 255 and rows[y][x * 3 + 2] == 255))
EOF2
}

# Two seconds of the race after loading: the gate has not dropped, the robots wait on the line.
race hud 40
race hidden 40 --hidden-hud --hidden-pause
# The pit board's light face (bottom-left), the dial's dark face (bottom-right).
read -r br bg bb <<<"$(probe hud 142 434 | head -1)"
read -r dr dg db <<<"$(probe hud 612 424 | head -1)"
read -r hr hg hb <<<"$(probe hidden 142 434 | head -1)"
[ -n "${br:-}" ] && [ -n "${hr:-}" ] || fail "no frames recorded"
echo "pit board $br $bg $bb; dial $dr $dg $db; without the HUD $hr $hg $hb"
[ "$br" -gt 220 ] && [ "$bg" -gt 220 ] && [ "$bb" -gt 200 ] || fail "no pit board in the race picture"
[ "$dr" -lt 50 ] && [ "$dg" -lt 50 ] && [ "$db" -lt 60 ] || fail "no tachometer dial"
[ $((hr + hg + hb)) -lt 600 ] || fail "--hidden-hud still shows the pit board"
paused=$(white_in_middle hud)
unpaused=$(white_in_middle hidden)
echo "white pixels in the middle: paused $paused, with --hidden-pause $unpaused"
[ "$paused" -gt 40 ] || fail "no \"Paused\" in the middle of the paused race"
[ "$unpaused" -lt $((paused / 4)) ] || fail "--hidden-pause still draws \"Paused\""
echo "the HUD is drawn over the race, and --hidden-hud hides it; \"Paused\" shows while paused"
