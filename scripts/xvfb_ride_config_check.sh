#!/usr/bin/env bash
# A new user's first two runs, under a virtual X server with keys sent to the game window:
#   run 1: `zelvo --track TRACK` starts a race with the player on the grid; the throttle key (x) is
#          held in the rider view after the gate drops; closing the window writes the
#          configuration, and the log's "Local rider rode ..." line shows the bike moved;
#   then one setting in the configuration file is changed by hand (laps=5 becomes laps=7);
#   run 2: the game reads that file, is closed again, and the rewritten file still holds laps=7.
#   scripts/xvfb_ride_config_check.sh [GAME_BINARY] [TRACK]
# Exit 0 when every check holds, 1 on the first failure, 77 when Xvfb, xdotool or python3 is missing.
# ZV_GATE_WAIT (s after loading, default 20) and ZV_RIDE_SECONDS (default 6) tune the ride.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
game=${1:-$here/../build/zelvo}
track=${2:-pinehollow}
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
[ -x "$game" ] || { echo "no game binary at $game: build it first (scripts/build.sh DIR)"; exit 1; }

tmp=$(mktemp -d)
display=:$((300 + RANDOM % 600))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
xpid=$!
gpid=
cleanup() {
  [ -n "$gpid" ] && kill -9 "$gpid" 2>/dev/null
  kill "$xpid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
# A fresh user: no configuration, no earlier runs.
export HOME=$tmp/home
unset XDG_DATA_HOME SDL_VIDEODRIVER
mkdir -p "$HOME"
config=$HOME/.local/share/Zelvo/config
log=
fail() { echo "FAIL: $*"; [ -n "$log" ] && [ -f "$log" ] && tail -n 20 "$log"; exit 1; }
say() { echo "$*"; }
line() { grep -m1 "$1" "$log" | sed 's/^\[[^]]*\] //'; }

# Starts the game and waits until the race is on (the loader's last line); sets gpid and win.
start() {
  log=$tmp/$1.log
  QUVA_LOGFILE=$log "$game" --track "$track" >"$tmp/$1.out" 2>&1 &
  gpid=$!
  win=
  for _ in $(seq 600); do
    [ -z "$win" ] && win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -1)
    [ -n "$win" ] && grep -q "Max loading delay was" "$log" 2>/dev/null && return 0
    kill -0 "$gpid" 2>/dev/null || fail "the game ended before the race started"
    sleep 0.1
  done
  fail "no window with a loaded race within 60 s"
}

# Closes the window as a window manager's close button would and waits for a clean exit.
close() {
  python3 "$here/x11_close.py" "$win" || fail "could not send the close request"
  local rc=
  for _ in $(seq 300); do
    if ! kill -0 "$gpid" 2>/dev/null; then wait "$gpid"; rc=$?; break; fi
    sleep 0.1
  done
  [ -n "$rc" ] || fail "the game did not exit within 30 s of the close request"
  gpid=
  [ "$rc" -eq 0 ] || fail "the game exited $rc after the close request"
  grep -q "Writing config files" "$log" || fail "no \"Writing config files\" at exit"
}

# Run 1: ride.
start first
say "run 1: $(line 'Max loading delay was')"
[ ! -e "$config" ] || fail "a configuration existed before the first exit"
# A rider waiting at the gate keeps a foot down (Sit/Dab, right Ctrl), or the standing bike
# topples. The gate drops 13 to 15 s into the race; a software-rendered game may run slower than
# real time, so the wait is longer. Then the foot comes up and the throttle (x) is held.
xdotool windowfocus "$win" 2>/dev/null
xdotool keydown --window "$win" Control_R
sleep "${ZV_GATE_WAIT:-25}"
xdotool keyup --window "$win" Control_R
xdotool keydown --window "$win" x
sleep "${ZV_RIDE_SECONDS:-6}"
xdotool keyup --window "$win" x
close
rode=$(line 'Local rider rode')
[ -n "$rode" ] || fail "no \"Local rider rode\" line: the player had no bike"
say "run 1: $rode"
# A bike that only stood or toppled at the gate ends a few feet from where it started.
away=$(echo "$rode" | sed -E 's/.*ending ([0-9.]+) ft from the start.*/\1/')
awk -v d="$away" 'BEGIN { exit !(d >= 50) }' || fail "the bike ended only $away ft from its start with the throttle held"
say "run 1: closed cleanly; $(line 'Writing config files')"
[ -s "$config" ] || fail "no configuration at $config after exit"
say "run 1: $config has $(wc -l <"$config") lines; $(grep -m1 '^laps=' "$config")"

# The user edits one setting.
grep -Eq '^laps=5(\.0*)?$' "$config" || fail "the first-run configuration does not hold laps=5"
sed -i -E 's/^laps=5(\.0*)?$/laps=7/' "$config"
touch -d '-1 minute' "$config" # so the rewrite at the next exit shows in the time stamp
before=$(stat -c %Y "$config")
say "edited: $(grep -m1 '^laps=' "$config")"

# Run 2: the edit is read and written back.
start second
say "run 2: $(line 'Max loading delay was')"
sleep 1
close
after=$(stat -c %Y "$config")
[ "$after" -gt "$before" ] || fail "the configuration was not rewritten at the second exit"
grep -Eq '^laps=7(\.0*)?$' "$config" || fail "the changed setting was lost: $(grep '^laps=' "$config")"
say "run 2: closed cleanly; rewritten configuration holds $(grep -m1 '^laps=' "$config")"
say "PASS"
exit 0
