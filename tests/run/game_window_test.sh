#!/usr/bin/env bash
# The game as a new user starts it, under a virtual X server: it opens its window, logs the GL
# strings and exits 0 when the window is closed; asking for a GL version the driver cannot make
# fails with a message and exit code 1 instead of hanging.
#   game_window_test.sh GAME_BINARY
# Exit 0 on success, 77 when the machine has no Xvfb or xdotool (ctest reports a skip).
set -uo pipefail
game=$1
here=$(cd "$(dirname "$0")" && pwd)
close_tool=$here/../../scripts/x11_close.py
source "$(dirname "$0")/xvfb_session.sh"
xvfb_session 1024x768
fail() {
  echo "FAIL: $*"
  [ -f "$tmp/game.log" ] && tail -n 30 "$tmp/game.log"
  if [ -n "$gpid" ] && kill -0 "$gpid" 2>/dev/null; then
    echo "-- the game's windows: $(xdotool search --pid "$gpid" 2>/dev/null | tr '\n' ' ')"
    grep -E '^(State|Threads)' "/proc/$gpid/status"
    echo "-- DISPLAY=$DISPLAY; Xvfb log:"; cat "$tmp/xvfb.log"
    command -v xwininfo >/dev/null && xwininfo -root -tree | head -20
    command -v gdb >/dev/null &&
      timeout 60 gdb -batch -p "$gpid" -ex "thread apply all bt 12" 2>/dev/null | grep -E '^(Thread|#)'
  fi
  exit 1
}

# 1. Open, log the GL strings, close.
QUVA_LOGFILE=$tmp/game.log "$game" >"$tmp/out.txt" 2>&1 &
gpid=$!
win=
for _ in $(seq 600); do
  win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -1)
  [ -n "$win" ] && grep -q "GL_RENDERER: " "$tmp/game.log" 2>/dev/null && break
  kill -0 "$gpid" 2>/dev/null || fail "the game ended before showing its window"
  sleep 0.1
done
[ -n "$win" ] || fail "no game window within 60 s"
for s in GL_VENDOR GL_RENDERER GL_VERSION; do
  grep -q "$s: ." "$tmp/game.log" || fail "the log has no $s line"
done
echo "window $win: $(grep -m1 'GL_VERSION: ' "$tmp/game.log" | sed 's/^\[[^]]*\] //')"
sleep 1
python3 "$close_tool" "$win" || fail "could not send the close request"
rc=
for _ in $(seq 600); do
  if ! kill -0 "$gpid" 2>/dev/null; then wait "$gpid"; rc=$?; break; fi
  sleep 0.1
done
[ -n "$rc" ] || fail "the game did not exit within 60 s of the close request"
gpid=
[ "$rc" -eq 0 ] || fail "the game exited $rc after a close request"
echo "closed: exit 0"

# 2. A GL version the driver cannot make.
have=$(grep -m1 'GL_VERSION: ' "$tmp/game.log" | sed -E 's/.*GL_VERSION: ([0-9]+)\.([0-9]+).*/\1\2/')
if [ -n "$have" ] && [ "$have" -ge 46 ]; then
  echo "the driver makes GL 4.6; no higher version to refuse"
  exit 0
fi
rm -f "$tmp/game.log"
QUVA_LOGFILE=$tmp/game.log timeout -k 5 30 "$game" --glversion 4.6 >"$tmp/out.txt" 2>&1
rc=$?
{ [ "$rc" -ne 124 ] && [ "$rc" -ne 137 ]; } || fail "--glversion 4.6 hung"
[ "$rc" -eq 1 ] || fail "--glversion 4.6 exited $rc, not 1"
grep -q "Can't open a window" "$tmp/out.txt" || fail "no message on standard error for the refused version"
echo "--glversion 4.6: exit 1: $(head -n 1 "$tmp/out.txt")"
exit 0
