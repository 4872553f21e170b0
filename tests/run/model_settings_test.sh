#!/usr/bin/env bash
# The model drawing settings as a player sets them: the game started alone at the gate of the
# default track under a virtual X server, its frames written to standard output. The same frame
# of three runs: "Enable Reflections" set to No in the configuration takes the sky's reflections
# off the own bike (the picture with them is the same one plus light, never darker anywhere), and
# --lod-scale 1000 puts the bike's parts on their coarse levels, which changes the picture.
#   model_settings_test.sh GAME_BINARY
# Exit 0 on success, 77 when the machine has no Xvfb or xdotool (ctest reports a skip).
set -uo pipefail
game=$1
source "$(dirname "$0")/xvfb_session.sh"
xvfb_session 640x480
fail() {
  echo "FAIL: $*"
  [ -f "$tmp/game.log" ] && tail -n 20 "$tmp/game.log"
  exit 1
}

frames=4
frame_bytes=$((640 * 480 * 3 + 15))
# run NAME CONFIG_LINES [ARGS...]: the first frames of a run, standing at the gate.
run() {
  local name=$1 extra=$2
  shift 2
  mkdir -p "$HOME/data/Zelvo"
  {
    echo "slot00=Human"
    for i in $(seq 1 39); do printf 'slot%02d=Empty\n' "$i"; done
    printf '%b' "$extra"
  } >"$HOME/data/Zelvo/config"
  QUVA_LOGFILE=$tmp/game.log "$game" --track pinehollow --width 640 --height 480 --lock-fps 8 \
    --nosound --record-video "$@" >"$tmp/$name.ppm" 2>"$tmp/$name.err" &
  gpid=$!
  for _ in $(seq 1800); do
    kill -0 "$gpid" 2>/dev/null || fail "the game ended early ($name)"
    [ "$(stat -c %s "$tmp/$name.ppm")" -ge $((frame_bytes * frames)) ] && break
    sleep 0.1
  done
  kill -9 "$gpid" 2>/dev/null
  wait "$gpid" 2>/dev/null
  gpid=
}

run on ""
run off "reflections=No\n"
run coarse "" --lod-scale 1000

# "brighter darker" channel counts of the last whole frame of A against the same frame of B.
compare() {
  python3 - "$tmp/$1.ppm" "$tmp/$2.ppm" "$((frames - 1))" <<'EOF'
import sys
head = b'P6\n640 480\n255\n'
size = len(head) + 640 * 480 * 3
def frame(path, k):
    data, at = open(path, 'rb').read(), 0
    for _ in range(k + 1):
        start = data.find(head, at)
        if start < 0 or start + size > len(data):
            sys.exit('no whole frame %d in %s' % (k, path))
        at = start + size
    return data[start + len(head):start + size]
a, b = frame(sys.argv[1], int(sys.argv[3])), frame(sys.argv[2], int(sys.argv[3]))
print(sum(1 for x, y in zip(a, b) if x > y), sum(1 for x, y in zip(a, b) if x < y))
EOF
}

read -r brighter darker <<<"$(compare on off)"
[ -n "${darker:-}" ] || fail "no frames recorded"
echo "reflections on against off: $brighter channels brighter, $darker darker"
[ "$brighter" -gt 500 ] || fail "Enable Reflections = No leaves the picture as it was"
[ "$darker" -eq 0 ] || fail "reflections darken the picture"
read -r up down <<<"$(compare on coarse)"
echo "--lod-scale 1000 against the default: $((up + down)) channels differ"
[ $((up + down)) -gt 500 ] || fail "--lod-scale does not change what is drawn"
echo "the reflection setting and the level-of-detail scale reach the drawing"
