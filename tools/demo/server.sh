# Sourced by tools/demo.sh and tools/render-screens.sh: a private ngircd on a loopback port, run from
# a temporary folder. Every way out of the calling script (its end, an error, Ctrl-C, a kill, a
# hang-up) stops the server and removes the folder.
demo_server=""
demo_work=""
demo_cleanup() {
  if [ -n "$demo_server" ]; then
    kill "$demo_server" 2>/dev/null || true
    wait "$demo_server" 2>/dev/null || true
  fi
  if [ -n "$demo_work" ]; then rm -rf "$demo_work"; fi
}
trap demo_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# start_demo_server PORT: the folder in $demo_work, the server listening on 127.0.0.1:PORT.
start_demo_server() {
  local port=$1
  demo_work=$(mktemp -d /tmp/zelkirc-demo.XXXXXX)
  chmod 755 "$demo_work"
  sed -e "s/@PORT@/$port/" -e "s#@DIR@#$demo_work#" tools/demo/ngircd.conf.in >"$demo_work/ngircd.conf"
  chmod 644 "$demo_work/ngircd.conf"
  /usr/sbin/ngircd -n -f "$demo_work/ngircd.conf" >"$demo_work/ngircd.log" 2>&1 &
  demo_server=$!
  for _ in $(seq 1 500); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.02
  done
  echo "ngircd did not start; its log:" >&2
  cat "$demo_work/ngircd.log" >&2
  return 1
}
