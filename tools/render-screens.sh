#!/usr/bin/env bash
# Renders what a caller sees into the README's pictures: a real visit (the door binary with a
# caller socket, a private ngircd on a loopback port, a second user talking in #lobby), its caller
# bytes rendered by ansilove the way a BBS terminal draws code page 437 ANSI.
#
#   tools/render-screens.sh     writes docs/images/visit-cp437.png and comforts-cp437.png
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/demo/server.sh
# The renderer and the recorder's interpreter are needed only here.
tools/setup-deps.sh ansilove python3

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target zelkirc

port=${ZELK_RENDER_PORT:-16691}
start_demo_server "$port"

python3 tools/render/visit.py --door build/zelkirc --port "$port" --out "$demo_work"
mkdir -p docs/images
for screen in visit-cp437 comforts-cp437; do
  ansilove -q -o "docs/images/$screen.png" "$demo_work/$screen.ans"
  echo "Wrote docs/images/$screen.png"
done
