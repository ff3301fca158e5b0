#!/usr/bin/env bash
# `make dist`: the release zip in out/, a folder QXLAUNCH with QXLAUNCH.DLL and the two help
# files built next to it (QXLAUNCH.HLP for WinHelp, QXLAUNCH.CHM for HTML Help), the Japanese
# readme QXLAUNCH.TXT, the sample configuration QXSAMPLE.REG, the removal of the add-on's keys
# twice (QXREMOVE.INF for Windows 95 to XP, QXREMOVE.REG for 2000 and later), the licence
# LICENSE.TXT and SHA256.TXT. Every name fits 8.3, so no two shorten to look-alikes on a system
# or a tool without long names. The texts are code page 932 with CR LF line ends (what Notepad,
# the registry editor and the setup engine of a Japanese Windows read); the README, English
# UTF-8 with pictures, stays out. Fixed dates and order: the same inputs give the same zip.
set -eu
dll=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
help="$(dirname "$dll")/QXLAUNCH.HLP"
html_help="$(dirname "$dll")/QXLAUNCH.CHM"
for file in "$help" "$html_help"; do
    [ -f "$file" ] || { echo "dist.sh: $file is missing; build it first" >&2; exit 1; }
done
# The build already refuses such an image; a DLL handed in from elsewhere is checked here too.
facts=$(python3 "$root/tools/pe_facts.py" --check "$dll" 2>&1) ||
    { echo "$facts"; echo "dist.sh: $dll is not an image Windows 95 and NT 4.0 load" >&2; exit 1; }
version=$(sed -n 's/^project(qxlaunch VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="qxlaunch-$version-win32"
folder=QXLAUNCH
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$folder" "$out"

# Line ends first, then the code page: a failed conversion (a character CP932 lacks) stops here.
cp932_crlf() { sed 's/\r$//; s/$/\r/' "$1" | iconv -f UTF-8 -t CP932 >"$2"; }

cp "$dll" "$stage/$folder/QXLAUNCH.DLL"
cp "$help" "$stage/$folder/QXLAUNCH.HLP"
cp "$html_help" "$stage/$folder/QXLAUNCH.CHM"
cp932_crlf "$root/docs/release/QXLAUNCH.TXT" "$stage/$folder/QXLAUNCH.TXT"
cp932_crlf "$root/samples/qxsample.reg" "$stage/$folder/QXSAMPLE.REG"
cp932_crlf "$root/samples/qxremove.inf" "$stage/$folder/QXREMOVE.INF"
cp932_crlf "$root/samples/qxremove.reg" "$stage/$folder/QXREMOVE.REG"
cp932_crlf "$root/LICENSE" "$stage/$folder/LICENSE.TXT"
files=(QXLAUNCH.DLL QXLAUNCH.HLP QXLAUNCH.CHM QXLAUNCH.TXT QXSAMPLE.REG QXREMOVE.INF QXREMOVE.REG LICENSE.TXT)
(cd "$stage/$folder" && sha256sum "${files[@]}" | sed 's/$/\r/' >SHA256.TXT)

zip_path="$(cd "$out" && pwd)/$name.zip"
rm -f "$zip_path"
touch -d '2000-01-01 00:00:00 UTC' "$stage/$folder" "$stage/$folder"/*
(cd "$stage" && TZ=UTC zip -X -q "$zip_path" "${files[@]/#/$folder/}" "$folder/SHA256.TXT")
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "$out/$name.zip:"
tr -d '\r' <"$stage/$folder/SHA256.TXT"
echo "zip: $(cut -d' ' -f1 "$out/$name.zip.sha256")"
