#!/usr/bin/env bash
# The demo visit: installs what is missing, builds the door, starts a private ngircd on a loopback
# port, writes a demo INI next to the door (a "Local" network that auto-joins #lobby) and runs the
# door in local mode in this terminal. The server stops when the door ends.
#
#   tools/demo.sh           the door in local mode, for the sysop at the console
#   tools/demo.sh --bbs     a stand-in BBS instead: telnet 127.0.0.1 2323 to be a caller (Ctrl-C stops it)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-deps.sh
tools/build.sh build >/dev/null

port=${ZELK_DEMO_PORT:-16690}
work=$(mktemp -d /tmp/zelkirc-demo.XXXXXX)
chmod 755 "$work"
sed -e "s/@PORT@/$port/" -e "s#@DIR@#$work#" tools/demo/ngircd.conf.in >"$work/ngircd.conf"
chmod 644 "$work/ngircd.conf"
sed -e "s/@PORT@/$port/" tools/demo/zelkirc.ini.in >build/zelkirc.ini

/usr/sbin/ngircd -n -f "$work/ngircd.conf" >"$work/ngircd.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 500); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.02
done

if [ "${1:-}" = "--bbs" ]; then
  shift
  build/zelkbbs --port "${ZELK_BBS_PORT:-2323}" --door build/zelkirc "$@"
else
  build/zelkirc -L "$@"
fi
