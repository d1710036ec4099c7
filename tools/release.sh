#!/usr/bin/env bash
# Makes the two archives a sysop installs from a BBS file area, in dist/ (or --out DIR):
#   zelkirc-<version>-linux-x86_64.tar.gz  zelkirc (ncurses and the C++ runtime linked in; OpenSSL
#                                          is loaded from the system for TLS networks)
#   zelkirc-<version>-win64.zip            zelkirc.exe (statically linked, no DLL beside it)
# each with zelkirc.ini (a sample whose comments explain every key), sysop.txt (the sysop guide as
# plain text: code page 437, 79 columns) and FILE_ID.DIZ (the file area's description). Text
# files in the zip end lines with CR LF. The version is the door's own (src/irc/client/client.h); the
# archives are the same byte for byte for the same sources and compilers (file times are those of
# the last commit, or SOURCE_DATE_EPOCH).
#
# The door is built in Release trees of its own (build-release, and build-release-windows with
# mingw-w64) unless existing trees are named.
# Usage: tools/release.sh [--out DIR] [--linux-build DIR] [--windows-build DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=dist
linux_build=build-release
windows_build=build-release-windows
while (($#)); do
  case $1 in
    --out) out=$2 ;;
    --linux-build) linux_build=$2 ;;
    --windows-build) windows_build=$2 ;;
    *) echo "usage: tools/release.sh [--out DIR] [--linux-build DIR] [--windows-build DIR]" >&2; exit 2 ;;
  esac
  shift 2
done

# What building and packing needs, and nothing the tests need.
tools/install-missing.sh --no-install-recommends cmake ninja-build g++ libncurses-dev libssl-dev python3 \
  g++-mingw-w64-x86-64-posix >/dev/null

version=$(sed -n 's/.*kVersionText = "ZelkIRC v\([0-9][0-9.]*\)".*/\1/p' src/irc/client/client.h)
[ -n "$version" ] || { echo "release.sh: no version in src/irc/client/client.h" >&2; exit 1; }
stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

# A tree is configured only when it is not one yet; then only the door is built in it.
release_args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DZELK_TESTS=OFF -DZELK_BENCH=OFF)
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  cmake -S . -B "$linux_build" "${release_args[@]}" >/dev/null
fi
cmake --build "$linux_build" --target zelkirc_release -j "$(nproc)" >/dev/null
if [ ! -f "$windows_build/CMakeCache.txt" ]; then
  cmake -S . -B "$windows_build" "${release_args[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
fi
cmake --build "$windows_build" --target zelkirc -j "$(nproc)" >/dev/null

stage=$(mktemp -d /tmp/zelk-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/linux" "$stage/win64" "$out"

diz() {  # FILE_ID.DIZ for one platform, CR LF as BBS software expects
  sed -e "s/@VERSION@/$version/" -e "s/@PLATFORM@/$1/" -e 's/$/\r/' tools/release/FILE_ID.DIZ.in >"$2/FILE_ID.DIZ"
}

strip -o "$stage/linux/zelkirc" "$linux_build/release/zelkirc"
cp tools/release/zelkirc.ini "$stage/linux/zelkirc.ini"
python3 tools/release/guide_text.py docs/sysop-guide.md "$stage/linux/sysop.txt"
diz "For Linux on x86-64" "$stage/linux"

cp "$windows_build/zelkirc.exe" "$stage/win64/zelkirc.exe"  # stripped when linked, with no link time in it
sed 's/$/\r/' tools/release/zelkirc.ini >"$stage/win64/zelkirc.ini"
python3 tools/release/guide_text.py docs/sysop-guide.md "$stage/win64/sysop.txt" --crlf
diz "For 64-bit Windows" "$stage/win64"
chmod 644 "$stage"/*/zelkirc.ini "$stage"/*/sysop.txt "$stage"/*/FILE_ID.DIZ
chmod 755 "$stage/linux/zelkirc" "$stage/win64/zelkirc.exe"

linux_archive=$out/zelkirc-$version-linux-x86_64.tar.gz
windows_archive=$out/zelkirc-$version-win64.zip
python3 tools/release/pack.py "$linux_archive" "$stamp" \
  "$stage/linux/zelkirc" "$stage/linux/zelkirc.ini" "$stage/linux/sysop.txt" "$stage/linux/FILE_ID.DIZ"
python3 tools/release/pack.py "$windows_archive" "$stamp" \
  "$stage/win64/zelkirc.exe" "$stage/win64/zelkirc.ini" "$stage/win64/sysop.txt" "$stage/win64/FILE_ID.DIZ"
echo "$linux_archive"
echo "$windows_archive"
