#!/usr/bin/env bash
# Creates the project's Wine prefix once (about 6 s) and maps the dialogs' Japanese font to an
# installed Japanese face, so that screenshots show Japanese glyphs.
set -eu
source "$(dirname "$0")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.qx-ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    env LC_ALL=ja_JP.SJIS wineboot -i >"$WINEPREFIX.log" 2>&1 </dev/null
    reg_file="$WINEPREFIX/qx-fonts.reg"
    printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
        '"MS PGothic"="IPAPGothic"' '"MS Gothic"="IPAGothic"' '"MS UI Gothic"="IPAPGothic"' \
        '"ＭＳ Ｐゴシック"="IPAPGothic"' '"ＭＳ ゴシック"="IPAGothic"' >"$reg_file.utf8"
    iconv -f UTF-8 -t CP932 "$reg_file.utf8" >"$reg_file"
    qx_wine regedit /S "$reg_file" >>"$WINEPREFIX.log" 2>&1 </dev/null
    wineserver -w
    touch "$WINEPREFIX/.qx-ready"
fi
# No window manager runs on the private display: Wine then waits two seconds for every managed
# window that hides (each closed box or sheet). Unmanaged windows close at once and Wine draws
# their title bars itself.
if [ ! -f "$WINEPREFIX/.qx-unmanaged" ]; then
    qx_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$WINEPREFIX.log" 2>&1 </dev/null
    wineserver -w
    touch "$WINEPREFIX/.qx-unmanaged"
fi
# A crash hands the process to Wine's debugger, which then waits for a user: a test whose
# program crashed would sit out its time-out instead of failing at once. Without a debugger
# named, the crashed process just ends.
if [ ! -f "$WINEPREFIX/.qx-no-debugger" ]; then
    aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    qx_wine reg add "$aedebug" /v Auto /d 0 /f >>"$WINEPREFIX.log" 2>&1 </dev/null
    qx_wine reg delete "$aedebug" /v Debugger /f >>"$WINEPREFIX.log" 2>&1 </dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.qx-no-debugger"
fi
# Wine draws the caption buttons with the symbol font Marlett, and finds it only in the prefix's
# own Fonts folder; without it the buttons show as the letters "0 1 r". Debian ships the font
# in fonts-wine, which wine only recommends. Checked on every run, so that a prefix made before
# the font was installed gets it too.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
