# Sourced by the scripts that run Windows programs: the project's own Wine prefix and a
# Japanese (code page 932) environment, or the locale QX_LC_ALL names (en_US.ISO-8859-1 gives
# code page 1252). Never pipe Wine's output: its server keeps pipes open.
qx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${QX_WINEPREFIX:-$qx_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the locale from LC_ALL; set only on its command line (the shell has no such locale).
qx_locale="${QX_LC_ALL:-ja_JP.SJIS}"
qx_wine() { env LC_ALL="$qx_locale" wine "$@"; }
export WINEARCH=win32
