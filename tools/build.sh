#!/usr/bin/env bash
# Installs what the build needs (tools/setup-build-deps.sh), then configures and builds one build
# tree. Usage: tools/build.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-build-deps.sh
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
