#!/usr/bin/env bash
# Runs a command with a private Xvfb display and a persistent Wine server, then stops both.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
"$here/wine-prefix.sh" || { echo "with-display.sh: could not create the Wine prefix" >&2; exit 1; }

reuse=
if [ "${1:-}" = "--reuse-display" ]; then
    shift
    [ -n "${DISPLAY:-}" ] && reuse=1
fi

xvfb_pid=
display=
[ -n "$reuse" ] && display=reuse
# A number is taken only once our own Xvfb listens on it: a display of another file system's
# /tmp (a chroot's, or the host's seen from one) shares the abstract socket, so the lock file
# alone does not tell, and that Xvfb exits at once.
for n in $(seq 71 140); do
    [ -n "$display" ] && break
    [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] || continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$WINEPREFIX.xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && { display=$n; break; }
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    [ -n "$display" ] && break
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
done
[ -n "$display" ] || { echo "with-display.sh: no free display" >&2; exit 1; }
[ -n "$reuse" ] || export DISPLAY=":$display"
wineserver -p >/dev/null 2>&1 </dev/null
# Start Wine's helper processes (services, the desktop) now, with no pipe to inherit: a later
# helper started under a test runner that reads its child's output through a pipe would keep
# that pipe open and stall the runner.
qx_wine cmd /c exit >/dev/null 2>&1 </dev/null

stop() {
    wineserver -k >/dev/null 2>&1 </dev/null
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
}
trap 'stop; exit 130' INT TERM
"$@"
status=$?
stop
exit $status
