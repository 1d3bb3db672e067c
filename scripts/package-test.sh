#!/usr/bin/env bash
# Installs the Debian package on this machine and uses it the way an application developer
# does: the C++ example built against the installed headers and find_package(QUVO), the Python
# example on the installed module, both printing on the virtual printer through the printer
# entries `quvo config` makes. Then removes the package and checks that only the configuration
# is left. Needs root; changes /etc/quvo (the entries stay, as configuration).
#   scripts/package-test.sh [BUILD_DIR]
set -euo pipefail
BUILD=${1:-build}
DEB=$(ls "$BUILD"/quvo_*.deb | head -1)
WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "package-test: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "lintian $DEB"
if lintian --help >/dev/null 2>&1; then
  lintian --fail-on error "$DEB"
fi

step "install"
apt-get install -y -qq "./$DEB" >/dev/null
dpkg -L quvo | sort >"$WORK/installed.list"
command -v quvo >/dev/null || fail "quvo is not on PATH"
[ -d /etc/quvo/dosdevices ] || fail "/etc/quvo/dosdevices was not made"
[ "$(stat -c %a /run/lock/quvo)" = 1777 ] || fail "/run/lock/quvo is not sticky and world-writable"
SO_LIBRARY=$(grep '/quvo/libQUVOSO.so$' "$WORK/installed.list")
grep -qF "\"$SO_LIBRARY\"" /etc/quvo/HKLM.reg || fail "the installed service object was not registered per machine"

step "a printer and its drawer set up from the terminal, a virtual printer on their port"
quvo config drawer delete FrontDrawer >/dev/null 2>&1 || true  # from an earlier run
quvo config printer delete FrontCounter >/dev/null 2>&1 || true
quvo config printer add --model TM-T88IV --name FrontCounter --port tcp/ip --ip 127.0.0.1
quvo config drawer add --printer FrontCounter --name FrontDrawer
quvo devices
quvo sim --tcp 9100 --model TM-T88IV --log "$WORK/printer.log" --png "$WORK/paper.png" >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 50); do grep -q . "$WORK/sim.out" 2>/dev/null && break; sleep 0.1; done

step "the C++ example, built against the installed package"
cp -r /usr/share/doc/quvo/examples/cpp "$WORK/cpp"
cmake -S "$WORK/cpp" -B "$WORK/cpp-build" -G Ninja >/dev/null
cmake --build "$WORK/cpp-build" >/dev/null
"$WORK/cpp-build/print_receipt" FrontCounter FrontDrawer

step "the same program built with pkg-config"
g++ -std=c++20 -o "$WORK/print_receipt_pc" "$WORK/cpp/print_receipt.cpp" $(pkg-config --cflags --libs quvo)
"$WORK/print_receipt_pc" FrontCounter

step "the Python example, on the installed module"
(cd "$WORK" && /usr/bin/python3 /usr/share/doc/quvo/examples/python/print_receipt.py FrontCounter)

kill "$SIM_PID"; wait "$SIM_PID" || true; SIM_PID=""
receipts=$(grep -c "QUVO Coffee" "$WORK/printer.log" || true)
[ "$receipts" -ge 2 ] || fail "the virtual printer printed $receipts C++ receipts, expected 2"
grep -q '"name":"pulse"' "$WORK/printer.log" || fail "the drawer was not kicked"
[ -s "$WORK/paper.png" ] || fail "no paper picture"
echo "printed: $receipts receipts from the C++ example, paper in $WORK/paper.png"

step "remove"
apt-get remove -y -qq quvo >/dev/null
left=()
while read -r path; do
  [ -e "$path" ] || continue
  [ -d "$path" ] && continue  # folders shared with other packages
  left+=("$path")
done <"$WORK/installed.list"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
for dir in /usr/include/quvo /usr/share/quvo /usr/lib/x86_64-linux-gnu/quvo /usr/lib/x86_64-linux-gnu/cmake/QUVO; do
  [ ! -e "$dir" ] || fail "$dir is left after removal"
done
[ -f /etc/quvo/HKLM.reg ] || fail "the configuration was not kept"
! grep -qF "$SO_LIBRARY" /etc/quvo/HKLM.reg || fail "the service object is still registered"
grep -q "FrontCounter" /etc/quvo/HKLM.reg || fail "the printer entry was not kept"
echo "package-test: passed"
