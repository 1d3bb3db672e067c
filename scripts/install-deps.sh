#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Idempotent: installs only what is missing, and runs apt-get update only then.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config   # toolchain
  libgtest-dev libgmock-dev googletest libbenchmark-dev # tests and benchmarks
  clang libclang-rt-14-dev clang-format                 # fuzz targets, lock analysis, style
  libzint-dev libstb-dev libspng-dev libdeflate-dev     # barcode sizing, image decoding
  zbar-tools fonts-dejavu-core                          # virtual printer: reading back, glyphs
  qt6-base-dev                                          # the configuration utility
  python3-dev python3-pybind11 python3-pytest python3-pil # the Python module, its tests, bench
  dpkg-dev lintian file                                 # the Debian package and its checks
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
