#!/usr/bin/env bash
# `make dist`: the release zip in out/ with QXLAUNCH.DLL and the help file built next to it, the
# Japanese readme and the two .reg files (the sample configuration and the removal of the
# add-on's keys) in code page 932 with CR LF line ends (what Notepad and the registry editor of
# a Japanese Windows read), the README and SHA256SUMS. Fixed dates and order: the same inputs
# give the same zip.
set -eu
dll=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
help="$(dirname "$dll")/QXLAUNCH.HLP"
[ -f "$help" ] || { echo "dist.sh: $help is missing; build it first" >&2; exit 1; }
version=$(sed -n 's/^project(qxlaunch VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="qxlaunch-$version-win32"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" "$out"

# Line ends first, then the code page: a failed conversion (a character CP932 lacks) stops here.
cp932_crlf() { sed 's/\r$//; s/$/\r/' "$1" | iconv -f UTF-8 -t CP932 >"$2"; }

cp "$dll" "$stage/$name/QXLAUNCH.DLL"
cp "$help" "$stage/$name/QXLAUNCH.HLP"
cp932_crlf "$root/docs/release/QXLAUNCH.TXT" "$stage/$name/QXLAUNCH.TXT"
cp932_crlf "$root/samples/qxlaunch-sample.reg" "$stage/$name/qxlaunch-sample.reg"
cp932_crlf "$root/samples/qxlaunch-remove.reg" "$stage/$name/qxlaunch-remove.reg"
cp "$root/README.md" "$stage/$name/README.md"
files=(QXLAUNCH.DLL QXLAUNCH.HLP QXLAUNCH.TXT qxlaunch-sample.reg qxlaunch-remove.reg README.md)
(cd "$stage/$name" && sha256sum "${files[@]}" >SHA256SUMS)

zip_path="$(cd "$out" && pwd)/$name.zip"
rm -f "$zip_path"
touch -d '2000-01-01 00:00:00 UTC' "$stage/$name" "$stage/$name"/*
(cd "$stage" && TZ=UTC zip -X -q "$zip_path" "${files[@]/#/$name/}" "$name/SHA256SUMS")
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "$out/$name.zip:"
cat "$stage/$name/SHA256SUMS"
echo "zip: $(cut -d' ' -f1 "$out/$name.zip.sha256")"
