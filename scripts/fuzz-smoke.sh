#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a short while on a copy of its saved
# corpus. Any crash, leak or time-out fails the run and leaves the input in out/fuzz/.
#   scripts/fuzz-smoke.sh [BUILD_DIR] [SECONDS_PER_TARGET]
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-20}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ARTIFACTS="$ROOT/out/fuzz"
mkdir -p "$ARTIFACTS"

shopt -s nullglob
targets=("$BUILD"/fuzz/*/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz-smoke: no fuzz targets under $BUILD/fuzz" >&2
  exit 1
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=$(mktemp -d)
  cp -r "$ROOT/fuzz/corpus/$name/." "$work/"
  echo "== $name: ${SECONDS_EACH}s"
  if ! "$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=4096 \
       -artifact_prefix="$ARTIFACTS/$name-" -print_final_stats=0 "$work" > "$work.log" 2>&1; then
    tail -40 "$work.log"
    echo "fuzz-smoke: $name failed; the input is in $ARTIFACTS" >&2
    exit 1
  fi
  grep -E '^Done|runs in' "$work.log" | tail -1 || true
  rm -rf "$work" "$work.log"
done
