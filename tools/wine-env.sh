# Sourced by the scripts that run Windows programs: the project's own Wine prefix and a
# Japanese (code page 932) environment. Never pipe Wine's output: its server keeps pipes open.
qx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${QX_WINEPREFIX:-$qx_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the locale from LC_ALL; set only on its command line (the shell has no such locale).
qx_wine() { env LC_ALL=ja_JP.SJIS wine "$@"; }
export WINEARCH=win32
