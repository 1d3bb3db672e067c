#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what clang-format makes of it (.clang-format).
# `scripts/check-format.sh --fix` rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Formatting differs from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "Formatting: ${#files[@]} files match .clang-format"
