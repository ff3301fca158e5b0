#!/usr/bin/env bash
# The test emulator: runs one Windows program in the project's prefix on the display that
# tools/with-display.sh started. Output goes to the caller's files, never through a pipe.
# QX_WINE_TIMEOUT (seconds, 75 unless set; 0: none): a program still running then is ended with
# everything else of the prefix, its Wine server too (a spinning server would block every later
# test), and fails. 75 s ends a hung end-to-end test before ctest's 90 s would.
source "$(dirname "$0")/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: no DISPLAY; run through tools/with-display.sh" >&2
    exit 1
fi
# QX_PROGRAM_DIR: the same program from another folder (the copy beside the MSVC-ABI DLL).
[ -z "${QX_PROGRAM_DIR:-}" ] || set -- "$QX_PROGRAM_DIR/$(basename "$1")" "${@:2}"
limit=${QX_WINE_TIMEOUT:-75}
[ "$limit" -gt 0 ] || exec env LC_ALL="$qx_locale" wine "$@" </dev/null
# timeout signals its own process group: the program and whatever it started.
timeout -k 5 "$limit" env LC_ALL="$qx_locale" wine "$@" </dev/null
status=$?
[ "$status" -eq 124 ] || [ "$status" -eq 137 ] || exit "$status"
# A server that spins never answers wineserver -k's first, gentle signal (and would take the
# prefix's processes with it only then): the processes go first, then the server at once.
for proc in /proc/[0-9]*; do
    environment=$(tr '\0' '\n' <"$proc/environ") || continue
    grep -qx "WINEPREFIX=$WINEPREFIX" <<<"$environment" && grep -q '^WINESERVERSOCKET=' <<<"$environment" &&
        kill -KILL "${proc#/proc/}"
done 2>/dev/null
wineserver -k9 >/dev/null 2>&1 </dev/null
echo "wine-run.sh: TIMED OUT: $* still ran after $limit s; ended it, the prefix's Wine server and its processes"
# A new persistent server and Wine's helpers for the next test, kept off the caller's pipes.
wineserver -p >/dev/null 2>&1 </dev/null
qx_wine cmd /c exit >/dev/null 2>&1 </dev/null
exit 1
