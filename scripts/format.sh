#!/usr/bin/env bash
# Formats every tracked C++ source with the repository's .clang-format; --check only reports the
# files that differ and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format "$f" | cmp -s - "$f" || bad+=("$f")
  done
  if [ ${#bad[@]} -gt 0 ]; then
    printf 'not formatted (run scripts/format.sh): %s\n' "${bad[@]}" >&2
    exit 1
  fi
  echo "${#files[@]} files formatted"
else
  clang-format -i "${files[@]}"
fi
