#!/usr/bin/env bash
# Installs what is missing, builds the game and its default data, and runs it.
# Extra arguments go to the game, e.g. ./play.sh --track <name>
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  echo "No display: Zelvo needs a desktop session (DISPLAY or WAYLAND_DISPLAY is unset)." >&2
  echo "To try it without one: xvfb-run -s '-screen 0 1280x720x24' ./play.sh" >&2
  exit 1
fi
exec build/zelvo "$@"
