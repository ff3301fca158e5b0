#!/usr/bin/env bash
# The add-on must also build with MSVC, which cannot run here: compile each of its sources as
# ISO C++17 with GCC's pedantic diagnostics as errors, and refuse GCC-only spellings.
# Usage: standard_cpp.sh COMPILER [FLAG ...] -- SOURCE ...
set -u
compiler=$1
shift
flags=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do flags+=("$1"); shift; done
shift
status=0
for source in "$@"; do
    if ! "$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror \
        -finput-charset=UTF-8 -fexec-charset=CP932 "${flags[@]}" "$source"; then
        status=1
    fi
    if grep -nE '__attribute__|__builtin_|__extension__|__typeof__|\btypeof\b|__asm__|\basm\b|#include_next|#warning' "$source"; then
        echo "$source: GCC-only construct (above)"
        status=1
    fi
done
[ $status -eq 0 ] && echo "$# sources compile as ISO C++17 with no GCC-only constructs"
exit $status
