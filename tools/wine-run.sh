#!/usr/bin/env bash
# The test emulator: runs one Windows program in the project's prefix on the display that
# tools/with-display.sh started. Output goes to the caller's files, never through a pipe.
source "$(dirname "$0")/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: no DISPLAY; run through tools/with-display.sh" >&2
    exit 1
fi
# QX_PROGRAM_DIR: the same program from another folder (the copy beside the MSVC-ABI DLL).
[ -z "${QX_PROGRAM_DIR:-}" ] || set -- "$QX_PROGRAM_DIR/$(basename "$1")" "${@:2}"
exec env LC_ALL="$qx_locale" wine "$@" </dev/null
