#!/usr/bin/env bash
# `make dist`: the release zip in out/ with QXLAUNCH.DLL, the sample configuration as a
# code-page-932 .reg file with CR LF line ends (what the registry editor of a Japanese Windows
# reads), the README and SHA256SUMS. Fixed dates and order: the same inputs give the same zip.
set -eu
dll=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(qxlaunch VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="qxlaunch-$version-win32"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" "$out"

cp "$dll" "$stage/$name/QXLAUNCH.DLL"
# Line ends first, then the code page: a failed conversion (a character CP932 lacks) stops here.
sed 's/\r$//; s/$/\r/' "$root/samples/qxlaunch-sample.reg" | iconv -f UTF-8 -t CP932 \
    >"$stage/$name/qxlaunch-sample.reg"
cp "$root/README.md" "$stage/$name/README.md"
(cd "$stage/$name" && sha256sum QXLAUNCH.DLL qxlaunch-sample.reg README.md >SHA256SUMS)

zip_path="$(cd "$out" && pwd)/$name.zip"
rm -f "$zip_path"
touch -d '2000-01-01 00:00:00 UTC' "$stage/$name" "$stage/$name"/*
(cd "$stage" && TZ=UTC zip -X -q "$zip_path" "$name/QXLAUNCH.DLL" "$name/qxlaunch-sample.reg" \
    "$name/README.md" "$name/SHA256SUMS")
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "$out/$name.zip:"
cat "$stage/$name/SHA256SUMS"
echo "zip: $(cut -d' ' -f1 "$out/$name.zip.sha256")"
