#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet (apt-get, with sudo
# when not root), with apt's own progress on the terminal. Options before the names go to apt-get
# install (--no-install-recommends).
set -euo pipefail
options=()
while (($#)) && [[ $1 == -* ]]; do
  options+=("$1")
  shift
done
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${options[@]}" "${missing[@]}"
fi
