#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64: zelkirc.exe and the zelkbbs.exe launcher,
# statically linked. Usage: tools/build-windows.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-windows-deps.sh
dir=${1:-build-windows}
shift || true
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DZELK_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
