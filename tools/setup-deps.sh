#!/usr/bin/env bash
# Installs the Debian packages the door needs to build, test and run its demo, when missing, and
# the packages named as arguments (what only one script needs).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libncurses-dev ngircd clang libclang-rt-dev clang-format inspircd atheme-services)
packages+=(libssl-dev openssl ca-certificates)  # TLS: headers, the test certificates, the system's trust
packages+=(tmux)  # a real terminal for the console tests
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
