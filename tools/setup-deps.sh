#!/usr/bin/env bash
# Installs the Debian packages the door needs to build and test, when missing: the build's own
# (tools/setup-build-deps.sh) and the peers the tests run, and the packages named as arguments
# (what only one script needs).
set -euo pipefail
packages=(ngircd clang libclang-rt-dev clang-format inspircd atheme-services)
packages+=(openssl ca-certificates)  # TLS: the test certificates, the system's trust
packages+=(tmux)                     # a real terminal for the console tests
packages+=(faketime)                 # a door whose clock runs ahead, so that a server's history is old at once
packages+=("$@")
exec "$(dirname "$0")/setup-build-deps.sh" "${packages[@]}"
