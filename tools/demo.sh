#!/usr/bin/env bash
# The demo: its own configuration (samples/qxdemo.reg) in the project's Wine prefix, the
# stand-in terminal with the add-on loaded, a guided tour with screenshots, and the terminal's journal.
set -eu
bin=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out"
exec "$root/tools/with-display.sh" --reuse-display "$root/tools/demo-run.sh" "$bin" "$out"
