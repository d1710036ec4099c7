#!/usr/bin/env bash
# The door benchmark from a fresh clone: installs what is missing (ngircd among it), builds the
# release tree and prints the table. Arguments go to door_bench (--quick, --only=..., see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-deps.sh
tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELK_BENCH=ON
exec build/bench/door_bench "$@"
