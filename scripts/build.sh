#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh DIR [cmake options...]
set -euo pipefail
dir=$1; shift
launcher=()
# Several build trees share one compiler cache: paths under the checkout are hashed relative to it.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd "$(dirname "$0")/.." && pwd)} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
