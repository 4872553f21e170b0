# Sourced by the run tests: a virtual X server of its own for one test, torn down on exit.
#   xvfb_session WxH   starts it (the game's window fills the screen, so the screen is the
#                      picture's size), exports DISPLAY, and gives the game an empty home in $tmp.
# Before sourcing: $game, the game binary. After: $tmp, a scratch folder removed on exit; set
# $gpid to the game's pid so that a test ending early kills it; define keep_files to copy
# anything out of $tmp before it goes. Exits 77 (a skip for ctest) without Xvfb or xdotool.
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
[ -x "$game" ] || { echo "no game binary at $game"; exit 1; }

xvfb_session() {
  tmp=$(mktemp -d)
  local display=:$((300 + RANDOM % 400))
  # -noreset: by default the server resets when its last client leaves, and a client that
  # connects while it does (the game, right after the readiness probe below) loses its window.
  Xvfb "$display" -screen 0 "$1x24" -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
  xpid=$!
  gpid=
  trap xvfb_session_end EXIT
  export DISPLAY=$display
  for _ in $(seq 300); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool getdisplaygeometry >/dev/null 2>&1 ||
    { echo "FAIL: Xvfb did not start"; cat "$tmp/xvfb.log"; exit 1; }
  export HOME=$tmp/home XDG_DATA_HOME=$tmp/home/data
  mkdir -p "$HOME"
  unset SDL_VIDEODRIVER
}

xvfb_session_end() {
  [ -n "$gpid" ] && kill -9 "$gpid" 2>/dev/null
  kill "$xpid" 2>/dev/null
  declare -F keep_files >/dev/null && keep_files
  rm -rf "$tmp"
}
