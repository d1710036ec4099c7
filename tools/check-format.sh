#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the committed .clang-format (fix with clang-format -i).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' | xargs -0 clang-format --dry-run -Werror
