#!/usr/bin/env bash
# Runs inside tools/with-display.sh: prepares the prefix and runs the tour (see demo.sh).
set -eu
bin=$1
out=$2
source "$(dirname "$0")/wine-env.sh"
drive_c="$WINEPREFIX/drive_c"

# Files the demo's entries (samples/qxdemo.reg) use: a text for WordPad and the terminal's
# script folder.
# Wine maps Unix file names through the C locale here (ja_JP.SJIS is not a Unix locale on this
# system), so a Japanese name made on the Unix side would show garbled: the folder holds ASCII
# names only, and the demo's "日報.scr" is not among them (the script page shows it as text).
rm -rf "$drive_c/qxdemo/scripts"
mkdir -p "$drive_c/qxdemo/scripts"
printf 'Quolix Launch demo: this file was opened by a program menu item.\r\n' >"$drive_c/qxdemo/readme.txt"
for s in login.scr backup.scr report.scr; do printf '; Quolix script\r\n' >"$drive_c/qxdemo/scripts/$s"; done
# The help file in the terminal's current folder, one of the places the help viewer looks.
cp "$bin/QXLAUNCH.HLP" "$drive_c/qxdemo/QXLAUNCH.HLP"

qx_wine reg delete 'HKCU\Software\Koravi' /f >/dev/null 2>&1 </dev/null || true
sed 's/$/\r/' "$qx_root/samples/qxdemo.reg" | iconv -f UTF-8 -t CP932 >"$out/demo-cp932.reg"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Koravi\\Quolix95\\Config]\r\n"ScriptPath"="C:\\\\qxdemo\\\\scripts"\r\n' >"$out/host-config.reg"
qx_wine regedit /S "$(winepath -w "$out/demo-cp932.reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null
qx_wine regedit /S "$(winepath -w "$out/host-config.reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null

journal="$out/journal.txt"
# The main tour shows WinHelp on QXLAUNCH.HLP, as Windows 95 to XP do. Under Wine the exports of
# Vista and later are there whatever version is set, so it runs from a folder holding the
# terminal and the add-on without QXLAUNCH.CHM, where Help turns to WinHelp as on those systems;
# the HTML Help tour below runs beside the CHM.
winhelp_bin="$drive_c/qxdemo/winhelp"
rm -rf "$winhelp_bin"
mkdir -p "$winhelp_bin"
cp "$bin/qxhost.exe" "$bin/QXLAUNCH.DLL" "$winhelp_bin/"
echo "== Starting the stand-in terminal with QXLAUNCH.DLL (tour, then it exits by itself)"
# A virtual desktop gives the windows the frames and captions Wine draws itself. Its explorer
# outlives the terminal, so wait for the terminal's last journal line instead of the command.
journal_w=$(winepath -w "$journal" 2>/dev/null)
out_w=$(winepath -w "$out" 2>/dev/null)
(cd "$drive_c/qxdemo" && qx_wine explorer /desktop=QuolixDemo,1024x768 "$winhelp_bin/qxhost.exe" \
    --journal "$journal_w" --tour "$out_w" >"$out/tour.log" 2>&1 </dev/null) &
for _ in $(seq 1 1200); do
    grep -q "FRAME DESTROYED" "$journal" 2>/dev/null && break
    sleep 0.1
done
cat "$out/tour.log" | tr -d '\r'

# A short tour (its option, its name, the locale) in a terminal of its own, until it has ended.
short_tour() {
    local journal="$out/journal-$2.txt"
    (cd "$drive_c/qxdemo" && qx_locale=$3 && qx_wine explorer /desktop=QuolixDemo,1024x768 \
        "$bin/qxhost.exe" --journal "$(winepath -w "$journal" 2>/dev/null)" "$1" "$out_w" \
        >"$out/tour-$2.log" 2>&1 </dev/null) &
    for _ in $(seq 1 600); do
        grep -q "FRAME DESTROYED" "$journal" 2>/dev/null && break
        sleep 0.1
    done
    tr -d '\r' <"$out/tour-$2.log"
}
echo "== Once more beside QXLAUNCH.CHM: Help opens HTML Help, as on Windows Vista and later"
short_tour --html-help-tour html-help "$qx_locale"
echo "== Once more on a Western Windows (code page 1252): the sheet and a box"
short_tour --western-tour 1252 en_US.ISO-8859-1

# The writer on the Windows side stores pixels uncompressed; squeeze them here, cropped to the
# part of the desktop the terminal and its dialogs use.
python3 - "$out" <<'PY'
import glob, struct, sys, zlib
for path in glob.glob(sys.argv[1] + "/*.png"):
    data = open(path, "rb").read()
    pos, chunks = 8, []
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunks.append((kind, data[pos + 8:pos + 8 + n]))
        pos += 12 + n
    raw = b"".join(body for kind, body in chunks if kind == b"IDAT")
    width, height = struct.unpack(">II", [b for k, b in chunks if k == b"IHDR"][0][:8])
    pixels = zlib.decompress(raw)
    crop_w, crop_h = min(width, 720), min(height, 560)
    stride = 1 + 3 * width
    rows = [b"\0" + pixels[y * stride + 1:y * stride + 1 + 3 * crop_w] for y in range(crop_h)]
    packed = zlib.compress(b"".join(rows), 9)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">II", crop_w, crop_h) + [b for k, b in chunks if k == b"IHDR"][0][8:]
    open(path, "wb").write(data[:8] + chunk(b"IHDR", header) + chunk(b"IDAT", packed) + chunk(b"IEND", b""))
PY

echo "== The terminal's message journal"
iconv -f CP932 -t UTF-8 "$journal"
echo "== Screenshots in $out"
ls "$out"/*.png
