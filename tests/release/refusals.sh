#!/usr/bin/env bash
# Builds each planted image and passes only when every build fails with its own message.
# Usage: refusals.sh CMAKE BUILD_DIR TARGET|MESSAGE ...
set -u
cmake=$1
build=$2
shift 2
status=0
for plant in "$@"; do
    target=${plant%%|*}
    message=${plant#*|}
    log=$("$cmake" --build "$build" --target "$target" 2>&1)
    built=$?
    if [ $built -eq 0 ] || ! grep -qE -- "$message" <<<"$log"; then
        echo "$target: not refused with \"$message\" (build status $built):"
        tail -15 <<<"$log"
        status=1
    else
        echo "$target refused: $(grep -m1 -oE -- "$message.*" <<<"$log")"
    fi
done
exit $status
