#!/usr/bin/env bash
# The demo: the most complete end-to-end path the build has today.
set -euo pipefail
BUILD=${1:-build}
OUT=${OUT:-out/demo}
mkdir -p "$OUT"
export QUVO_REGISTRY_DIR="$OUT/registry"
mkdir -p "$QUVO_REGISTRY_DIR"
Q="$BUILD/tools/quvo"

echo "== The registry store: import a printer entry written as Windows regedit writes it"
"$Q" registry import data/samples/printer-entry.reg
"$Q" registry show 'HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS'
"$Q" registry export 'HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS' "$OUT/exported.reg"
echo "Exported to $OUT/exported.reg"
