#!/usr/bin/env sh
# Prints the LLVM version N this system builds with (clang-N, lld-N, llvm-N, the fuzzer runtime):
# $LLVM_VERSION if set, else the one Debian release ships as its own, else the newest clang-N found.
if [ -n "${LLVM_VERSION:-}" ]; then echo "$LLVM_VERSION"; exit 0; fi
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
case "$codename" in
    bookworm) echo 16 ;;
    trixie) echo 19 ;;
    *) ls /usr/bin 2>/dev/null | sed -n 's/^clang-\([0-9][0-9]*\)$/\1/p' | sort -n | tail -n 1 ;;
esac
