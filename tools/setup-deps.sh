#!/usr/bin/env bash
# Installs the Debian packages the door needs to build, test and run its demo, when missing, and
# the packages named as arguments (what only one script needs).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libncurses-dev ngircd clang libclang-rt-dev clang-format inspircd atheme-services)
packages+=(libssl-dev openssl ca-certificates)  # TLS: headers, the test certificates, the system's trust
packages+=(tmux)  # a real terminal for the console tests
packages+=(faketime)  # a door whose clock runs ahead, so that a server's history is old at once
packages+=("$@")
exec "$(dirname "$0")/install-missing.sh" "${packages[@]}"
