#!/usr/bin/env bash
# The whole test suite from a fresh machine: installs what is missing, builds the normal tree and
# the AddressSanitizer + UndefinedBehaviorSanitizer tree, and runs every test in both; then the
# Windows build under Wine and the release archives.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-deps.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== format check (clang-format)"
tools/check-format.sh

echo "== normal build"
tools/build.sh build
ctest --test-dir build --output-on-failure -j 2

echo "== sanitizer build (ASan + UBSan)"
tools/build.sh build-asan -DZELK_SANITIZE=ON -DZELK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir build-asan --output-on-failure -j 2

echo "== fuzz smoke runs (libFuzzer, 20 s per target)"
fuzz/run 20

echo "== Windows build under Wine (cross-built unit tests and the smoke test)"
tools/test-windows.sh build

echo "== release archives (from the two builds above)"
tools/test-release.sh build build-windows
