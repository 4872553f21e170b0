#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, when any is missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config ccache libode-dev duktape-dev zlib1g-dev
      libpng-dev libmd-dev libsdl2-dev libgl-dev libgl1-mesa-dri libgtest-dev libgmock-dev
      xvfb xauth xdotool clang clang-format)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
