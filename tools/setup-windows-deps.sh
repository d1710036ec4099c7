#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need, when missing: the mingw-w64
# cross compiler, Wine, and the GoogleTest sources (built for Windows from /usr/src/googletest).
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
