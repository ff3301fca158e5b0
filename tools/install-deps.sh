#!/usr/bin/env bash
# Installs what the build, the demo and the tests need on Debian 12 or 13, only when missing.
# The LLVM version (clang for the native build and the fuzzers, lld and llvm for the MSVC-ABI
# build) is the release's own, as tools/llvm-version.sh prints it.
set -eu
n=$("$(dirname "$0")/llvm-version.sh")
[ -n "$n" ] || { echo "install-deps.sh: no LLVM version known for this system; set LLVM_VERSION" >&2; exit 1; }
packages=(cmake make g++ fp-utils libchm-bin "clang-$n" "lld-$n" "llvm-$n" "libclang-rt-$n-dev" googletest libgtest-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 xvfb xauth
          fonts-ipafont-gothic fonts-wine python3 zip)
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
# A mirror caught mid-sync fails the update of one index now and then: try again, and go on with
# what was fetched when it keeps failing (the install then says what is really missing).
for try in 1 2 3; do
    "${apt[@]}" update -q >/dev/null && break
    echo "install-deps.sh: apt-get update failed (try $try of 3)" >&2
    [ "$try" -eq 3 ] || sleep 10
done
install=("${apt[@]}" install -y -q --no-install-recommends)
"${install[@]}" "${missing[@]}" >/dev/null && exit 0
# With one suite's index missing (the security suite's i386 one, say), an amd64 library may have
# its candidate there while its i386 twin, needed at the same version, is only in the release:
# the release suite alone holds both twins.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || exit 1
echo "install-deps.sh: the install failed; trying once more from the release suite, $codename, alone" >&2
"${install[@]}" -t "$codename" "${missing[@]}" >/dev/null
