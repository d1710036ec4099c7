#!/usr/bin/env bash
# Installs the Debian packages that building the door needs (compiler, CMake, Ninja, GoogleTest,
# ncurses, OpenSSL headers), when missing, and the packages named as arguments.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libncurses-dev libssl-dev)
packages+=("$@")
exec "$(dirname "$0")/install-missing.sh" "${packages[@]}"
