#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need, when missing: the mingw-w64
# cross compiler, Wine, and the GoogleTest sources (built for Windows from /usr/src/googletest).
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 googletest)
exec "$(dirname "$0")/install-missing.sh" --no-install-recommends "${packages[@]}"
