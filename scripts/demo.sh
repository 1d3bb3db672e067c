#!/usr/bin/env bash
# The demo: the most complete end-to-end path the build has today.
#  1. the registry store takes a printer entry exported by Windows regedit and shows it back;
#  2. a receipt built by the ESC/POS command builder goes through the TCP/IP port to the
#     virtual printer, whose status is read back and decoded while faults come and go.
# The service object itself (OPOS calls from an application) is not built yet, so the demo
# drives the command builder and the port directly, as the engine will.
set -euo pipefail
BUILD=${1:-build}
OUT=${OUT:-out/demo}
mkdir -p "$OUT"
export QUVO_REGISTRY_DIR="$OUT/registry"
rm -rf "$QUVO_REGISTRY_DIR"
mkdir -p "$QUVO_REGISTRY_DIR"
Q="$BUILD/tools/quvo"

echo "== 1. The registry store: a printer entry as Windows regedit exports it (UTF-16LE, CRLF)"
"$Q" registry import data/samples/printer-entry.reg
"$Q" registry show 'HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS'
"$Q" registry export 'HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS' "$OUT/exported.reg"
echo "Exported to $OUT/exported.reg"
echo
echo "== 2. A receipt on the virtual printer, over a loopback TCP/IP port"
"$Q" demo --out "$OUT"
if command -v zbarimg >/dev/null; then
  echo "Symbols read back from the paper by zbarimg:"
  zbarimg -q "$OUT/receipt.png" 2>/dev/null | sed 's/^/  /'
fi
