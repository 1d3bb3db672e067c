#!/usr/bin/env bash
# The demo:
#  1. the registry store takes a printer entry exported by Windows regedit and shows it back;
#  2. a receipt printed the way an application prints: the POSPrinter control object, the COM
#     runtime and the service object (registered in a temporary registry of its own), a TCP/IP
#     port and the virtual printer; the events that come back are shown, and the paper is left
#     as a PNG.
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
echo "== 2. A receipt through the POSPrinter control object, on the virtual printer"
"$Q" demo --out "$OUT"
if command -v zbarimg >/dev/null; then
  echo "Symbols read back from the paper by zbarimg:"
  zbarimg -q "$OUT/receipt.png" 2>/dev/null | sed 's/^/  /'
fi
