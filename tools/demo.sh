#!/usr/bin/env bash
# The demo visit: installs what is missing, builds the door, starts a private ngircd on a
# loopback port, writes a demo INI next to the door (a "Local" network that auto-joins #lobby)
# and runs the door in local mode in this terminal. The server stops when the door ends.
#
#   tools/demo.sh        the door in local mode, for the sysop at the console
#   tools/demo.sh --bbs  a stand-in BBS instead: telnet 127.0.0.1 2323 to be a caller
#                        (Ctrl-C stops it)
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/demo/server.sh

# Only what the demo needs: the build's packages and the IRC server; then only what it runs, the
# door and the stand-in BBS. The first build takes a few minutes.
tools/setup-build-deps.sh ngircd
echo "Building the door (build/zelkirc) and the stand-in BBS (build/zelkbbs)..."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target zelkirc zelkbbs

port=${ZELK_DEMO_PORT:-16690}
start_demo_server "$port"
sed -e "s/@PORT@/$port/" tools/demo/zelkirc.ini.in >build/zelkirc.ini

if [ "${1:-}" = "--bbs" ]; then
  shift
  bbs_port=${ZELK_BBS_PORT:-2323}
  echo "Be a caller: telnet 127.0.0.1 $bbs_port, then try /HELP, /JOIN #name, /QUIT."
  echo "Ctrl-C here stops the stand-in BBS and the IRC server."
  build/zelkbbs --port "$bbs_port" --door build/zelkirc "$@"
else
  echo "Try: /HELP, /JOIN #name, a line of text to say it in the channel, /QUIT to end."
  echo "Sysop keys: F1 turns the status line's page, Alt-C opens the chat (Esc ends it)."
  sleep 2
  build/zelkirc -L "$@"
fi
