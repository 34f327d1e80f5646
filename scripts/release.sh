#!/bin/bash
# Builds Tessara.exe for 64-bit and 32-bit Windows and packs both with the users' README into
# build/release/Tessara-1.0.zip.
#
#   scripts/release.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
version=1.0
out=build/release
stage=$out/Tessara-$version

for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" -j2 --target Tessara
done

rm -rf "$stage" "$out/Tessara-$version.zip"
mkdir -p "$stage/64-bit" "$stage/32-bit"
cp build/win64/app/win32/Tessara.exe "$stage/64-bit/"
cp build/win32/app/win32/Tessara.exe "$stage/32-bit/"
# Notepad on every supported Windows reads UTF-8 with a byte-order mark and CRLF.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' app/win32/ReleaseReadme.txt; } >"$stage/README.txt"

for exe in "$stage"/*/Tessara.exe; do
    size=$(stat -c %s "$exe")
    if (( size >= 1024 * 1024 )); then
        echo "release: $exe is $size bytes, over 1 MB" >&2
        exit 1
    fi
done

(cd "$out" && zip -q -r -X "Tessara-$version.zip" "Tessara-$version")
echo "release: $out/Tessara-$version.zip ($(stat -c %s "$out/Tessara-$version.zip") bytes)"
