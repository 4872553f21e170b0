#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, GL and slow tests of a normal
# build, then the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then a
# short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)

echo "== format"
# Every source file is kept in the repository's own format (.clang-format).
scripts/format.sh --check

echo "== build"
scripts/build.sh build
echo "== tests"
# GL tests draw on Mesa's software renderer through SDL's offscreen driver; no display needed.
(cd build && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 \
   ctest --output-on-failure -j "$jobs" --timeout 900)

echo "== sanitizer build"
scripts/build.sh build-asan -DZV_SANITIZE=ON -DZV_GAME=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -L unit --timeout 1800)

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets (short runs)"
  scripts/build.sh build-fuzz -DZV_FUZZ=ON -DZV_GAME=OFF -DZV_TESTS=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
  for f in build-fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus=$(mktemp -d)
    echo "-- $name"
    seeds=()
    [ -d "fuzz/corpus/${name#fuzz_}" ] && seeds=("fuzz/corpus/${name#fuzz_}")
    "$f" -max_total_time=10 -rss_limit_mb=2048 "$corpus" "${seeds[@]}" > "$corpus.log" 2>&1 \
      || { tail -n 40 "$corpus.log"; exit 1; }
    tail -n 1 "$corpus.log"
    rm -rf "$corpus"
  done
fi
echo "== all tests passed"
