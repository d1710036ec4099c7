#!/usr/bin/env bash
# Checks the release archives as a sysop gets them: tools/release.sh builds them (twice, into two
# folders, and the two runs must give the same bytes) from the given build trees; each archive
# holds exactly the door, zelkirc.ini, sysop.txt and FILE_ID.DIZ; FILE_ID.DIZ has at most 10 lines
# of 45 characters; sysop.txt and zelkirc.ini are code page 437 text of at most 80 columns; the
# sample INI names every key of the sysop guide's settings tables; the Linux door needs no shared
# library besides the C library's and runs `-?` from a folder of its own with an empty
# environment; the Windows door imports no DLL that Windows lacks.
# Usage: tools/test-release.sh [linux-build-dir] [windows-build-dir]   (default build, build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:-build}
windows_build=${2:-build-windows}
scratch=$(mktemp -d /tmp/zelk-release-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

tools/release.sh --linux-build "$linux_build" --windows-build "$windows_build" --out "$scratch/a" >/dev/null
tools/release.sh --linux-build "$linux_build" --windows-build "$windows_build" --out "$scratch/b" >/dev/null
linux_archive=$(ls "$scratch"/a/zelkirc-*-linux-x86_64.tar.gz)
windows_archive=$(ls "$scratch"/a/zelkirc-*-win64.zip)
for archive in "$linux_archive" "$windows_archive"; do
  cmp -s "$archive" "$scratch/b/$(basename "$archive")" || fail "$(basename "$archive") differs between two runs"
done

mkdir "$scratch/linux" "$scratch/win64"
tar -xzf "$linux_archive" -C "$scratch/linux"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$windows_archive" "$scratch/win64"
[ "$(tar -tzf "$linux_archive" | sort | tr '\n' ' ')" = "FILE_ID.DIZ sysop.txt zelkirc zelkirc.ini " ] ||
  fail "the Linux archive holds: $(tar -tzf "$linux_archive" | tr '\n' ' ')"
[ "$(ls "$scratch/win64" | sort | tr '\n' ' ')" = "FILE_ID.DIZ sysop.txt zelkirc.exe zelkirc.ini " ] ||
  fail "the Windows archive holds: $(ls "$scratch/win64" | tr '\n' ' ')"

# Text files: code page 437 glyphs and line ends only (no tab, escape or other control byte), at
# most `width` columns; in the zip every line ends with CR LF, in the tarball with LF alone
# (FILE_ID.DIZ with CR LF in both).
check_text() {  # file width crlf
  local file=$1 width=$2 crlf=$3
  [ -s "$file" ] || { fail "$file is missing or empty"; return; }
  local controls
  controls=$(LC_ALL=C tr -d '\r\n\040-\176\200-\377' <"$file" | wc -c)
  [ "$controls" -eq 0 ] || fail "$file holds $controls control bytes"
  local wide
  wide=$(LC_ALL=C awk -v w="$width" '{ sub(/\r$/, "") } length($0) > w { print FNR ": " length($0); exit }' "$file")
  [ -z "$wide" ] || fail "$file: line $wide columns, more than $width"
  local lines cr
  lines=$(LC_ALL=C wc -l <"$file")
  cr=$(LC_ALL=C grep -c $'\r$' "$file" || true)
  if [ "$crlf" = yes ]; then
    [ "$cr" -eq "$lines" ] || fail "$file: $((lines - cr)) of $lines lines do not end with CR LF"
  else
    [ "$cr" -eq 0 ] || fail "$file: $cr lines end with CR LF"
  fi
}
for dir in linux win64; do
  crlf=no
  [ $dir = win64 ] && crlf=yes
  check_text "$scratch/$dir/sysop.txt" 80 $crlf
  check_text "$scratch/$dir/zelkirc.ini" 80 $crlf
  check_text "$scratch/$dir/FILE_ID.DIZ" 45 yes
  diz_lines=$(wc -l <"$scratch/$dir/FILE_ID.DIZ")
  [ "$diz_lines" -le 10 ] || fail "$dir FILE_ID.DIZ has $diz_lines lines, more than 10"
  grep -q "ZelkIRC v" "$scratch/$dir/FILE_ID.DIZ" || fail "$dir FILE_ID.DIZ does not name the door"
  # Every key the guide's settings tables list is explained in the sample.
  for key in $(sed -n '/^### `\[general\]`/,/^### Values/p' docs/sysop-guide.md | sed -n 's/^| `\([a-z]*\)` |.*/\1/p'); do
    grep -qiE "^;? *$key( |$)" "$scratch/$dir/zelkirc.ini" || fail "$dir zelkirc.ini does not explain $key"
  done
done

# The Linux door on a machine without the build tree: its own folder, no environment.
for library in $(readelf -d "$scratch/linux/zelkirc" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  case $library in
    libc.so.6 | libm.so.6 | ld-linux-x86-64.so.2) ;;
    *) fail "the Linux door needs $library, a shared library besides the C library's" ;;
  esac
done
usage=$(cd "$scratch/linux" && env -i ./zelkirc -? </dev/null 2>&1) && status=0 || status=$?
[ "$status" -eq 0 ] || fail "zelkirc -? from the archive ended with exit code $status"
grep -q "USAGE:" <<<"$usage" || fail "zelkirc -? from the archive shows no usage screen: $usage"

# The Windows door: only DLLs of Windows itself.
imports=$(x86_64-w64-mingw32-objdump -p "$scratch/win64/zelkirc.exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
for dll in $imports; do
  case $dll in
    kernel32.dll | user32.dll | ws2_32.dll | advapi32.dll | msvcrt.dll | secur32.dll | crypt32.dll | bcrypt.dll | api-ms-win-*) ;;
    *) fail "the Windows door imports $dll, which Windows does not have" ;;
  esac
done

if [ "$failures" -gt 0 ]; then
  echo "release archives: $failures checks failed" >&2
  exit 1
fi
echo "release archives: $(basename "$linux_archive") $(basename "$windows_archive") fine"
