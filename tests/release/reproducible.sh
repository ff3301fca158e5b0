#!/usr/bin/env bash
# Builds the add-on once more, from a copy of the sources at another path into a fresh build
# directory, and compares that DLL byte for byte with the one in the build tree: no timestamp,
# no path and no other trace of the build may reach the file.
set -eu
cmake=$1
source_dir=$2
built_dll=$3
build_type=${4:-Release}
toolchain=${5:-i686-w64-mingw32.cmake}
work=$(mktemp -d /tmp/qxlaunch-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/copy"
for item in CMakeLists.txt cmake src res tools; do
    cp -R "$source_dir/$item" "$work/copy/"
done
# Another locale and time zone as well: neither may change a byte.
export LC_ALL=C TZ=Asia/Tokyo
"$cmake" -S "$work/copy" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/copy/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
"$cmake" --build "$work/build" --target qxlaunch -j 1 >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; exit 1; }
second="$work/build/bin/QXLAUNCH.DLL"
if cmp -s "$built_dll" "$second"; then
    echo "byte-identical: $(sha256sum <"$built_dll" | cut -d' ' -f1) ($(stat -c %s "$built_dll") bytes)"
    exit 0
fi
echo "QXLAUNCH.DLL differs between two builds of the same sources:"
cmp -l "$built_dll" "$second" | head -20
exit 1
