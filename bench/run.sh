#!/usr/bin/env bash
# The door benchmark from a fresh clone: installs what is missing (ngircd among it), builds the
# door and the benchmark in the release tree and prints the table. Arguments go to door_bench
# (--quick, --only=..., see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_BENCH=ON >/dev/null
cmake --build build -j "$(nproc)" --target door_bench tcp_link_bench
exec build/bench/door_bench "$@"
