#!/usr/bin/env bash
# cmake --install as a packager runs it: the game, its data, the desktop entry and the icon land
# under the prefix, and the installed game started from another directory finds its data and
# loads the default track.
#   install_test.sh GAME_BINARY
set -uo pipefail
game=$1
build=$(cd "$(dirname "$game")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; echo "FAIL: install"; exit 1; }
for f in bin/zelvo share/zelvo/zzzz.saf share/applications/zelvo.desktop \
         share/icons/hicolor/256x256/apps/zelvo.png; do
  [ -s "$prefix/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
head -c 8 "$prefix/share/icons/hicolor/256x256/apps/zelvo.png" | od -An -tx1 | grep -q "89 50 4e 47" ||
  { echo "FAIL: the icon is not a PNG"; exit 1; }
grep -q '^Exec=zelvo' "$prefix/share/applications/zelvo.desktop" || { echo "FAIL: desktop entry"; exit 1; }

# Started from / with nothing but the prefix: it must find the data and load the track.
mkdir -p "$tmp/home"
(cd / && HOME=$tmp/home XDG_DATA_HOME=$tmp/home SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
   LIBGL_ALWAYS_SOFTWARE=1 timeout 60 "$prefix/bin/zelvo" --nosound --track pinehollow \
   >"$tmp/game.out" 2>&1) &
gpid=$!
log=$tmp/home/Zelvo/lastlog.txt
for _ in $(seq 600); do
  grep -q "Max loading delay was" "$log" 2>/dev/null && break
  kill -0 "$gpid" 2>/dev/null || break
  sleep 0.1
done
pkill -f "$prefix/bin/zelvo" 2>/dev/null
wait "$gpid" 2>/dev/null
grep -q "Max loading delay was" "$log" 2>/dev/null || { echo "FAIL: the installed game did not load the track"; cat "$tmp/game.out"; tail -20 "$log" 2>/dev/null; exit 1; }
echo "installed under $prefix and loaded the default track"
