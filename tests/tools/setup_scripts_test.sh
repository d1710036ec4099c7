#!/usr/bin/env bash
# The set-up scripts as a fresh machine runs them, with apt-get, dpkg-query, sudo and cmake stood in
# for (nothing is installed, every call is logged) and a stand-in door: tools/build.sh installs the
# build's packages before it configures, tools/demo.sh installs only the build's packages and
# ngircd, apt's own output reaches the terminal, and everything the demo prints fits 80 columns.
# The demo's private ngircd is the real one, on a free loopback port.
# Usage: setup_scripts_test.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d /tmp/zelkirc-scripts.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cp -r "$src/tools" "$work/tools"
mkdir -p "$work/stub" "$work/build"
log=$work/calls.log
stub() {
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/stub/$1"
  chmod +x "$work/stub/$1"
}
stub dpkg-query 'exit 1'
stub sudo 'exec "$@"'
stub apt-get "echo \"apt-get \$*\" >>$log; echo \"Reading package lists... (\$1)\""
stub cmake "echo \"cmake \$*\" >>$log"
stub nproc 'echo 1'
printf '#!/usr/bin/env bash\necho "door $*" >>%s\n' "$log" >"$work/build/zelkirc"
printf '#!/usr/bin/env bash\necho "bbs $*" >>%s\n' "$log" >"$work/build/zelkbbs"
chmod +x "$work/build/zelkirc" "$work/build/zelkbbs"
export PATH="$work/stub:$PATH"

build_packages="cmake ninja-build g++ libgtest-dev libncurses-dev libssl-dev"

# tools/build.sh: the build's packages first, with apt's progress shown.
out=$("$work/tools/build.sh" 2>&1) || fail "tools/build.sh: $out"
grep -q "Reading package lists... (install)" <<<"$out" || fail "apt's output hidden: $out"
first=$(head -n 2 "$log")
[[ $first == "apt-get update"$'\n'"apt-get install -y $build_packages" ]] || fail "build.sh installs: $first"
grep -q "^cmake -S . -B build -G Ninja" "$log" || fail "build.sh did not configure: $(cat "$log")"

if [ ! -x /usr/sbin/ngircd ]; then
  echo "setup scripts: build ok; demo skipped, ngircd is not installed"
  exit 0
fi

# tools/demo.sh in both forms: only the build's packages and ngircd, lines of at most 80 columns.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
for form in "" --bbs; do
  : >"$log"
  out=$(ZELK_DEMO_PORT=$port "$work/tools/demo.sh" $form 2>&1) || fail "tools/demo.sh $form: $out"
  install=$(grep "^apt-get install" "$log")
  [[ $install == "apt-get install -y $build_packages ngircd" ]] || fail "demo.sh $form installs: $install"
  grep -q "^door -L\|^bbs --port" "$log" || fail "demo.sh $form ran no door: $(cat "$log")"
  while IFS= read -r line; do
    ((${#line} <= 80)) || fail "demo.sh $form prints ${#line} columns: $line"
  done <<<"$out"
done
echo "setup scripts: ok"
