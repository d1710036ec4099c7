#!/usr/bin/env bash
# The Windows door under Wine: cross-builds build-windows, runs its test programs under Wine, then
# the smoke test in which the Linux side (ngircd, a second IRC user, the telnet caller) visits the
# door through the Windows launcher, over plain IRC and over TLS (ngircd's TLS port, SChannel). A fresh Wine prefix is made once per run and removed after.
# Usage: tools/test-windows.sh [linux-build-dir]   (default build; it must hold wine_smoke_tests)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:-build}
started=$SECONDS

tools/build-windows.sh build-windows
built=$SECONDS

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
scratch=$(mktemp -d /tmp/zelk-wine.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  timeout 20 "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

timeout 120 "$wine" wineboot -i >/dev/null 2>&1
# Windows without a display (the ident tests create a window): Wine's null graphics driver.
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
booted=$SECONDS

ctest --test-dir build-windows --output-on-failure --timeout 120
unit=$SECONDS

if [ ! -x "$linux_build/tests/wine_smoke_tests" ]; then
  cmake --build "$linux_build" --target wine_smoke_tests
fi
ZELK_WINDOWS_BUILD=$PWD/build-windows ZELK_WINE=$wine timeout 300 "$linux_build/tests/wine_smoke_tests"
done_at=$SECONDS

echo "Windows step: build $((built - started)) s, Wine prefix $((booted - built)) s," \
  "unit tests $((unit - booted)) s, smoke test $((done_at - unit)) s, total $((done_at - started)) s"
