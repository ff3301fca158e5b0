#!/usr/bin/env bash
# Passes only when every planted image is refused with its own message: TARGET|MESSAGE is built
# and must fail at its link or the check after it; header:FAULT|MESSAGE, a copy of DLL with one
# header fault, must be refused and deleted by the gate.
# Usage: refusals.sh CMAKE BUILD_DIR PYTHON DLL BASE PLANT ...
set -u
cmake=$1 build=$2 python=$3 dll=$4 base=$5
shift 5
here=$(cd "$(dirname "$0")" && pwd)
copy=/tmp/qxplant.$$.dll
trap 'rm -f "$copy"' EXIT
status=0
for plant in "$@"; do
    target=${plant%%|*}
    message=${plant#*|}
    if [ "${target#header:}" != "$target" ]; then
        log=$("$python" "$here/plant_header.py" "$dll" "${target#header:}" "$copy" 2>&1 &&
              "$python" "$here/../../tools/pe_facts.py" --gate "$copy" --base "$base" 2>&1)
        built=$?
        [ -e "$copy" ] && built=0 # a refused image must be gone
    else
        log=$("$cmake" --build "$build" --target "$target" 2>&1)
        built=$?
    fi
    if [ $built -eq 0 ] || ! grep -qE -- "$message" <<<"$log"; then
        echo "$target: not refused with \"$message\" (status $built):"
        tail -15 <<<"$log"
        status=1
    else
        echo "$target refused: $(grep -m1 -oE -- "$message.*" <<<"$log")"
    fi
done
exit $status
