#!/usr/bin/env bash
# The test emulator: runs one Windows program in the project's prefix on the display that
# tools/with-display.sh started. Output goes to the caller's files, never through a pipe.
# QX_WINE_TIMEOUT (seconds): a program still running then is ended with everything else of the
# prefix, its Wine server too (a spinning server would block every later test), and fails.
source "$(dirname "$0")/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: no DISPLAY; run through tools/with-display.sh" >&2
    exit 1
fi
limit=${QX_WINE_TIMEOUT:-0}
[ "$limit" -gt 0 ] || exec env LC_ALL=ja_JP.SJIS wine "$@" </dev/null
# timeout signals its own process group: the program and whatever it started.
timeout -k 5 "$limit" env LC_ALL=ja_JP.SJIS wine "$@" </dev/null
status=$?
[ "$status" -eq 124 ] || [ "$status" -eq 137 ] || exit "$status"
wineserver -k >/dev/null 2>&1 </dev/null
echo "wine-run.sh: TIMED OUT: $* still ran after $limit s; ended it and the prefix's Wine server (wineserver -k)"
# A new persistent server and Wine's helpers for the next test, kept off the caller's pipes.
wineserver -p >/dev/null 2>&1 </dev/null
qx_wine cmd /c exit >/dev/null 2>&1 </dev/null
exit 1
