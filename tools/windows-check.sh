#!/usr/bin/env bash
# Cross-builds the Windows programs and checks them under Wine:
#   - kelvarin.exe and kelvarin-cli.exe build, with no DLL beside them but the system's;
#   - kelvarin-cli.exe converts the same files as the Linux build to byte-identical outputs (the
#     20-byte TIFF DateTime at offset 234 aside), with the same message boxes, the same exit
#     status and the same log (paths and timings aside), also for non-ASCII file and folder names;
#     an existing destination survives a failed job and is replaced by a successful one, and
#     survives Ctrl-C mid-job (exit status 130, no temporary file left);
#   - kelvarin.exe, driven through the X server in Xvfb, shows "KELVARIN v3.02"; answers Enter and
#     Escape with the no-such-option box; keeps the focus across a help box; greys the conversion
#     items under the terrain warning; converts through its file dialogs (non-ASCII names) to the
#     Linux build's bytes; ends with status 0 when closed (Alt+F4) and through File > Quit.
# Usage: tools/windows-check.sh [--screenshot FILE] [--gui-only]
#   --screenshot FILE  keep a picture of the window (taken after the conversion through the dialogs)
#   --gui-only         of the conversions, run only the one the window's conversion is compared with
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
set +e  # every check below reports its own failure; the summary decides the exit status

SCREENSHOT=""
GUI_ONLY=0
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot) SCREENSHOT="$(realpath -m "$2")"; shift 2 ;;
        --gui-only) GUI_ONLY=1; shift ;;
        *) echo "usage: $0 [--screenshot FILE] [--gui-only]" >&2; exit 2 ;;
    esac
done

ensure_packages "${BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool imagemagick \
    python3 python3-numpy python3-tifffile

OUT="$ROOT/build/windows-check"
PYTHON=/usr/bin/python3  # the system's, which has numpy and tifffile
mkdir -p "$OUT"
PASSED=0
FAILED=0
pass() { echo "  ok    $1"; PASSED=$((PASSED + 1)); }
fail() { echo "  FAIL  $1${2:+: $2}"; FAILED=$((FAILED + 1)); }
check() {  # check NAME COMMAND...: passes when the command succeeds
    local name="$1"; shift
    if "$@" >"$OUT/check.out" 2>&1; then pass "$name"; else fail "$name" "$(head -c 400 "$OUT/check.out")"; fi
}
summary() {
    echo "windows-check: $PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}

# ---------------------------------------------------------------------------------------------
echo "== cross-build (MinGW-w64, static runtime) and Linux reference build"
cmake -S "$ROOT" -B "$OUT/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$OUT/mingw-configure.log" 2>&1 &&
    cmake --build "$OUT/mingw" -j"$JOBS" >"$OUT/mingw-build.log" 2>&1
BUILD_STATUS=$?
cmake -S "$ROOT" -B "$OUT/linux" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF >"$OUT/linux-configure.log" 2>&1 &&
    cmake --build "$OUT/linux" -j"$JOBS" --target kelvarin-cli >"$OUT/linux-build.log" 2>&1 ||
    { tail -20 "$OUT/linux-build.log"; fail "Linux reference build"; summary; exit 1; }

GUI_EXE="$OUT/mingw/src/ui/win32/kelvarin.exe"
CLI_EXE="$OUT/mingw/kelvarin-cli.exe"
LINUX_CLI="$OUT/linux/kelvarin-cli"
if [ "$BUILD_STATUS" -ne 0 ] || [ ! -f "$GUI_EXE" ] || [ ! -f "$CLI_EXE" ]; then
    tail -30 "$OUT/mingw-build.log"
    fail "cross-build of kelvarin.exe and kelvarin-cli.exe"
    summary
    exit 1
fi
pass "cross-build of kelvarin.exe and kelvarin-cli.exe"

only_system_dlls() {
    local dlls
    dlls="$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
    echo "$dlls"
    [ -n "$dlls" ] || return 1
    ! grep -qvxE 'kernel32\.dll|msvcrt\.dll|user32\.dll|gdi32\.dll|comctl32\.dll|comdlg32\.dll|advapi32\.dll|shell32\.dll|ole32\.dll|ucrtbase\.dll|api-ms-win-crt-[a-z0-9-]+\.dll' <<<"$dlls"
}
subsystem_is() {  # subsystem_is EXE 2|3  (2 GUI, 3 console)
    local headers
    headers="$(x86_64-w64-mingw32-objdump -p "$1")" || return 1
    grep -E "^Subsystem" <<<"$headers"
    grep -qE "^Subsystem\s+0*$2\s" <<<"$headers"
}
check "kelvarin.exe imports only system DLLs" only_system_dlls "$GUI_EXE"
check "kelvarin-cli.exe imports only system DLLs" only_system_dlls "$CLI_EXE"
check "kelvarin.exe is a GUI-subsystem program" subsystem_is "$GUI_EXE" 2
check "kelvarin-cli.exe is a console program" subsystem_is "$CLI_EXE" 3
check "kelvarin.exe carries the common controls 6 manifest" \
    grep -ac 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "$GUI_EXE"

# ---------------------------------------------------------------------------------------------
echo "== Wine prefix"
export WINEPREFIX="$OUT/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8 LANG=C.UTF-8
WINE="$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)"
WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
trap cleanup EXIT
# Every Wine process of the run, the console ones too, shares one X display: the desktop Wine
# starts with the first of them serves all that follow.
display=""
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# A server left over from an interrupted run of this script would keep its old display.
"$WINESERVER" -k >/dev/null 2>&1 || true
if ! timeout 240 "$WINE" wineboot -i >"$OUT/wineboot.log" 2>&1; then
    fail "wineboot -i" "$(tail -5 "$OUT/wineboot.log")"
    summary
    exit 1
fi
# One server for all runs below: each Wine start then takes a fraction of a second.
"$WINESERVER" -p >/dev/null 2>&1 || true
# The fonts a Windows system has and the window uses: the caption buttons' Marlett, the bitmap
# "MS Sans Serif" of dialogs (Wine's outline substitute is wider), Tahoma for the common dialogs.
for font in marlett.ttf sserife.fon tahoma.ttf; do
    [ -f "/usr/share/wine/fonts/$font" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/$font" ] &&
        cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
# Without a window manager Wine draws the frames and captions itself.
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true

# ---------------------------------------------------------------------------------------------
echo "== test files"
FILES="$OUT/files"
rm -rf "$FILES"
mkdir -p "$FILES"
"$PYTHON" - "$FILES" <<'PYTHON'
import os, sys
import numpy as np
import tifffile

out = sys.argv[1]
rng = np.random.default_rng(7)
def path(name):
    return os.path.join(out, name)

h, w = 37, 53  # odd sizes: rows and blocks that do not divide evenly
def rgb(dtype, high):
    return (rng.random((h, w, 3)) * high).astype(dtype)

# Uncompressed single-strip RGB TIFFs of 24, 48 and 96 (float) bits per pixel, both byte orders.
one_strip = dict(photometric='rgb', planarconfig='contig', rowsperstrip=h)
tifffile.imwrite(path('rgb24.tif'), rgb(np.uint8, 256), **one_strip)
tifffile.imwrite(path('rgb48.tif'), rgb('<u2', 65536), **one_strip)
tifffile.imwrite(path('rgb48-mm.tif'), rgb('>u2', 65536), byteorder='>', **one_strip)
tifffile.imwrite(path('rgb96.tif'), rgb('<f4', 1.0), **one_strip)
tifffile.imwrite(path('grey16.tif'), (rng.random((h, w)) * 65536).astype('<u2'), photometric='minisblack',
                 rowsperstrip=h)
os.makedirs(path('dür'), exist_ok=True)
tifffile.imwrite(path('dür/höhe-Ω.tif'), rgb('<u2', 65536), **one_strip)

# 16-bit PGM, binary and text.
grey = (rng.random((h, w)) * 65536).astype('>u2')
with open(path('p5.pgm'), 'wb') as f:
    f.write(b'P5\n# made by windows-check\n%d %d\n65535\n' % (w, h) + grey.tobytes())
with open(path('p2.pgm'), 'w', newline='\n') as f:
    f.write('P2\n%d %d\n65535\n' % (w, h))
    for row in grey.astype(int):
        f.write(' '.join(str(v) for v in row) + '\n')

# Square headerless 16-bit RAW.
(rng.random((64, 64)) * 65536).astype('<u2').tofile(path('square.raw'))

# 3DEM BIN with its text header: rows 9, columns 11, base -120, void -9999.
rows, cols = 9, 11
data = (rng.random((rows, cols)) * 3000 - 120).astype('<i2')
data[2, 3] = -9999
data.tofile(path('dem.bin'))
header = ['file_title = windows-check', 'data_format = int16', 'map_projection = Lat/Lon',
          'ellipsoid = WGS84', 'left_map_x = 7.0', 'lower_map_y = 46.0', 'right_map_x = 7.1',
          'number_of_rows = %d' % rows, 'number_of_columns = %d' % cols, 'elev_m_unit = meters',
          'elev_m_minimum = -120', 'elev_m_maximum = 2880', 'elev_m_missing_flag = -9999']
with open(path('dem.hdr'), 'w', newline='\r\n') as f:
    f.write('\n'.join(header) + '\n')

# Terrain set: 8/4/2/1 + name + .raw at 8192, 4096, 2048 and 1024 pixels.
for digit, side in (('8', 8192), ('4', 4096), ('2', 2048), ('1', 1024)):
    ramp = (np.add.outer(np.arange(side, dtype=np.uint32) * 3, np.arange(side, dtype=np.uint32) * 5)
            % 65536).astype('<u2')
    ramp.tofile(path(digit + 'vale.raw'))

# Not an image at all.
with open(path('junk.tif'), 'wb') as f:
    f.write(b'this is not a picture\n' * 4)
PYTHON
[ $? -eq 0 ] || { fail "test files"; summary; exit 1; }
# A Radiance file (new run-length scheme) from a real writer; at least 256 wide, as narrower
# scanlines carry a zero in their length's high byte, which the reader refuses.
convert -size 301x23 gradient:'#2040ff-#ffe080' -colorspace RGB -depth 32 "$FILES/gradient.hdr" 2>/dev/null ||
    fail "ImageMagick Radiance writer"

# ---------------------------------------------------------------------------------------------
echo "== kelvarin-cli.exe under Wine against the Linux build"
RUNS="$OUT/runs"
rm -rf "$RUNS"

# The outputs compared, byte by byte, with a TIFF's DateTime (20 bytes at 234) skipped.
same_output() {
    local a="$1" b="$2"
    [ -f "$a" ] || { echo "Linux made no $a"; return 1; }
    [ -f "$b" ] || { echo "Wine made no $b"; return 1; }
    if [ "$(head -c 4 "$a" | od -An -c | tr -d ' ')" = 'II*\0' ] || [ "$(head -c 4 "$a" | od -An -c | tr -d ' ')" = 'MM\0*' ]; then
        cmp <(head -c 234 "$a") <(head -c 234 "$b") && cmp <(tail -c +255 "$a") <(tail -c +255 "$b")
    else
        cmp "$a" "$b"
    fi
}
# The log with the run folder as <DIR>, "/" separators in those paths, and the numbers of timing
# lines masked.
normal_log() {
    local log="$1" dir="$2"
    "$PYTHON" - "$log" "$dir" <<'PYTHON'
import re, sys
log, folder = sys.argv[1], sys.argv[2]
for line in open(log, encoding='utf-8', errors='surrogateescape').read().split('\n'):
    if folder in line:
        line = line.replace(folder, '<DIR>').replace('\\', '/')
    if re.search(r'second|Time', line):
        line = re.sub(r'[0-9.]+', '#', line)
    print(line)
PYTHON
}

# run_case NAME EXPECTED_STATUS "CLI ARGS" OUTPUT... (paths relative to the run folder)
run_case() {
    local name="$1" expected="$2" args="$3"; shift 3
    local linux="$RUNS/$name/linux" wine="$RUNS/$name/wine"
    mkdir -p "$linux" "$wine"
    local f
    # Hard links where they can be (the terrain set is large); folders are copied.
    for f in "$FILES"/*; do ln "$f" "$linux/" 2>/dev/null || cp -r "$f" "$linux/"; done
    for f in "$FILES"/*; do ln "$f" "$wine/" 2>/dev/null || cp -r "$f" "$wine/"; done
    local linux_status wine_status
    (cd "$linux" && eval "timeout 120 \"$LINUX_CLI\" $args" >"../linux.log" 2>"../linux.err")
    linux_status=$?
    (cd "$wine" && eval "timeout 180 \"$WINE\" \"$CLI_EXE\" $args" >"../wine.log" 2>"../wine.err")
    wine_status=$?
    local problems=""
    [ "$linux_status" -eq "$expected" ] || problems+="Linux exit $linux_status, expected $expected; "
    [ "$wine_status" -eq "$linux_status" ] || problems+="Wine exit $wine_status, Linux $linux_status; "
    cmp -s "$RUNS/$name/linux.err" "$RUNS/$name/wine.err" || problems+="message boxes differ; "
    local windows_dir
    windows_dir="Z:$(echo "$wine" | tr '/' '\\')"
    if ! diff <(normal_log "$RUNS/$name/linux.log" "$linux") <(normal_log "$RUNS/$name/wine.log" "$windows_dir") \
        >"$RUNS/$name/log.diff"; then
        problems+="logs differ ($RUNS/$name/log.diff); "
    fi
    for f in "$@"; do
        if [ "$expected" -eq 0 ]; then
            same_output "$linux/$f" "$wine/$f" >"$RUNS/$name/cmp.out" 2>&1 || problems+="$f: $(head -c 200 "$RUNS/$name/cmp.out"); "
        elif [ -e "$linux/$f" ] || [ -e "$wine/$f" ]; then
            problems+="$f left behind by a failed job; "
        fi
    done
    if [ -z "$problems" ]; then
        pass "$name"
    else
        fail "$name" "$problems$(head -c 300 "$RUNS/$name/linux.err")"
    fi
}

run_case tif-non-ascii-names 0 "tif dür/höhe-Ω.tif dür/grau-ß.tif" dür/grau-ß.tif
[ "$GUI_ONLY" -eq 1 ] || {
run_case tif-48bit 0 "tif rgb48.tif out.tif" out.tif
run_case tif-24bit 0 "tif rgb24.tif out.tif" out.tif
run_case tif-48bit-motorola 0 "tif rgb48-mm.tif out.tif" out.tif
run_case tif-96bit-float 0 "tif rgb96.tif out.tif" out.tif
run_case tif-48bit-all-options 0 \
    "--weighting hdtv --boost --invert --x2 --x4 --posterise 8 --swap tif rgb48.tif out.tif" out.tif
run_case tif-te-raw 0 "--te-raw tif grey16.tif out.raw" out.raw
run_case hdr 0 "hdr gradient.hdr out.tif" out.tif
run_case pgm-p5 0 "pgm p5.pgm out.tif" out.tif
run_case pgm-p2 0 "pgm p2.pgm out.tif" out.tif
run_case raw 0 "raw square.raw out.tif" out.tif
run_case bin 0 "bin dem.bin dem.hdr out.tif" out.tif
run_case terrain3 0 "terrain3 4vale.raw" vale_4096.tif vale_2048.tif vale_1024.tif
run_case terrain4-max 0 "terrain4-max 8vale.raw" vale_4096.tif vale_2048.tif vale_1024.tif
run_case refused-not-an-image 1 "tif junk.tif out.tif" out.tif
run_case refused-missing-source 1 "tif nowhere.tif out.tif" out.tif

# An existing destination (MoveFileExW over it): a job that fails in its data step (the BIN data
# file one byte too long) leaves it as it was, a successful one replaces it; neither leaves a
# temporary file behind.
replaced_destination() {
    local dir="$RUNS/replaced-destination"
    mkdir -p "$dir" && cp "$FILES/dem.bin" "$FILES/dem.hdr" "$dir/" && printf 'x' >>"$dir/dem.bin" || return 1
    printf 'old map' >"$dir/out.tif"
    (cd "$dir" && timeout 180 "$WINE" "$CLI_EXE" bin dem.bin dem.hdr out.tif >/dev/null 2>&1)
    [ $? -eq 1 ] || { echo "the failing job did not exit with 1"; return 1; }
    [ "$(cat "$dir/out.tif")" = "old map" ] || { echo "a failed job changed the old destination"; return 1; }
    cp "$FILES/dem.bin" "$dir/dem.bin"
    (cd "$dir" && timeout 180 "$WINE" "$CLI_EXE" bin dem.bin dem.hdr out.tif >/dev/null 2>&1) ||
        { echo "the successful job failed"; return 1; }
    same_output "$RUNS/bin/linux/out.tif" "$dir/out.tif" || return 1
    if ls -A "$dir" | grep -q 'kelvarin-'; then echo "a temporary file stayed: $(ls -A "$dir")"; return 1; fi
}
check "an existing destination: kept by a failed job, replaced by a successful one" replaced_destination

# Ctrl-C while a job runs (Wine hands SIGINT to the console program as CTRL_C_EVENT): exit status
# 130, the old destination kept, the temporary file deleted. The source is a 16384 x 16384 float
# TIFF whose 3 GiB of pixels are a hole in a sparse file; the signal goes out the moment the
# temporary file appears, long before the job could end.
interrupted_job() {
    local dir="$RUNS/interrupted"
    mkdir -p "$dir" || return 1
    "$PYTHON" - "$dir/big.tif" <<'PYTHON' || return 1
import struct, sys
side = 16384
data_bytes = side * side * 12
entries = [(254, 4, 1, 0), (256, 3, 1, side), (257, 3, 1, side), (258, 3, 3, 'bits'), (259, 3, 1, 1),
           (262, 3, 1, 2), (273, 4, 1, 'data'), (277, 3, 1, 3), (278, 3, 1, side), (279, 4, 1, data_bytes),
           (284, 3, 1, 1), (339, 3, 3, 'format')]
arrays = 8 + 2 + 12 * len(entries) + 4
places = {'bits': arrays, 'format': arrays + 6, 'data': arrays + 12}
out = bytearray(b'II' + struct.pack('<HIH', 42, 8, len(entries)))
for tag, kind, count, value in entries:
    value = places.get(value, value)
    field = struct.pack('<HH', value, 0) if kind == 3 and count == 1 else struct.pack('<I', value)
    out += struct.pack('<HHI', tag, kind, count) + field
out += struct.pack('<I', 0) + struct.pack('<6H', 32, 32, 32, 3, 3, 3)
with open(sys.argv[1], 'wb') as f:
    f.write(out)
    f.truncate(len(out) + data_bytes)
PYTHON
    printf 'old map' >"$dir/out.tif"
    (cd "$dir" && exec "$WINE" "$CLI_EXE" tif big.tif out.tif >/dev/null 2>&1) &
    local pid=$!
    until ls -A "$dir" | grep -q 'kelvarin-'; do
        kill -0 "$pid" 2>/dev/null || { echo "the job ended before its temporary file was seen"; return 1; }
        sleep 0.01
    done
    kill -INT "$pid"
    wait "$pid"
    local status=$?
    rm -f "$dir/big.tif"
    [ "$status" -eq 130 ] || { echo "exit status $status, not 130"; return 1; }
    [ "$(cat "$dir/out.tif")" = "old map" ] || { echo "the old destination changed"; return 1; }
    if ls -A "$dir" | grep -q 'kelvarin-'; then echo "a temporary file stayed: $(ls -A "$dir")"; return 1; fi
}
check "Ctrl-C mid-job: exit 130, the old destination kept, no temporary file" interrupted_job

# The bundled samples, each through the command of its kind.
if [ -d "$ROOT/samples" ]; then
    for sample in "$ROOT"/samples/*; do
        [ -f "$sample" ] || continue
        base="$(basename "$sample")"
        stem="${base%.*}"
        files="\"sample-$base\""
        case "${base,,}" in
            *.tif | *.tiff) command=tif ;;
            *.pgm) command=pgm ;;
            *.raw) command=raw ;;
            *.hdr)  # a BIN file's header, or a Radiance picture
                ls "$ROOT/samples/$stem".[bB][iI][nN] >/dev/null 2>&1 && continue
                command=hdr ;;
            *.bin)
                header="$(ls "$ROOT/samples/$stem".[hH][dD][rR] 2>/dev/null | head -1)"
                [ -n "$header" ] || continue
                ln -f "$header" "$FILES/sample-$(basename "$header")" 2>/dev/null ||
                    cp "$header" "$FILES/sample-$(basename "$header")"
                files+=" \"sample-$(basename "$header")\""
                command=bin ;;
            *) continue ;;
        esac
        ln -f "$sample" "$FILES/sample-$base" 2>/dev/null || cp "$sample" "$FILES/sample-$base"
        run_case "sample-$base" 0 "$command $files out.tif" out.tif
    done
fi
}

# ---------------------------------------------------------------------------------------------
echo "== kelvarin.exe under Wine in Xvfb"
wait_window() {  # wait_window NAME-REGEX SECONDS: prints the window id
    local deadline=$((SECONDS + $2)) id
    while [ "$SECONDS" -lt "$deadline" ]; do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.3
    done
    return 1
}
gone_window() {  # gone_window NAME-REGEX SECONDS
    local deadline=$((SECONDS + $2))
    while [ "$SECONDS" -lt "$deadline" ]; do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.3
    done
    return 1
}
press() {  # press WINDOW KEY...: keyboard input to that window through the X server
    xdotool windowfocus --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1" >/dev/null 2>&1
    sleep 0.3
    shift
    xdotool key --delay 150 "$@"
}

GUI_DIR="$RUNS/gui"
mkdir -p "$GUI_DIR"
cp -r "$FILES/dür" "$GUI_DIR/"
# An existing, longer destination: taken without asking, and cut to the new output's length.
head -c 300000 /dev/urandom >"$GUI_DIR/dür/grau-ß.tif"
# Typed into the dialogs as full paths, so the folder a dialog starts in does not matter.
GUI_WINDOWS_DIR="Z:$(echo "$GUI_DIR" | tr '/' '\\')"

# take_picture WINDOW: the window, active, with everything painted, cut out of the screen.
take_picture() {
    local geometry x y
    geometry="$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
    x="$(echo "$geometry" | sed -n 's/^X=//p')"; y="$(echo "$geometry" | sed -n 's/^Y=//p')"
    # A click on the empty bottom of the client area activates the window and does nothing else.
    [ -n "$x" ] && xdotool mousemove "$((x + 8))" "$((y + $(echo "$geometry" | sed -n 's/^HEIGHT=//p') - 6))" click 1
    sleep 1.5
    import -window root "$OUT/screen.png" 2>/dev/null &&
        convert "$OUT/screen.png" -trim +repage "$OUT/kelvarin-windows.png" 2>/dev/null
    if [ -n "$SCREENSHOT" ] && [ -f "$OUT/kelvarin-windows.png" ]; then
        mkdir -p "$(dirname "$SCREENSHOT")" && cp "$OUT/kelvarin-windows.png" "$SCREENSHOT"
    fi
}
# click WINDOW DX DY: a left click at that offset from the window's top-left corner.
click() {
    local geometry x y
    geometry="$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
    x="$(echo "$geometry" | sed -n 's/^X=//p')"; y="$(echo "$geometry" | sed -n 's/^Y=//p')"
    [ -n "$x" ] || return 1
    xdotool mousemove "$((x + $2))" "$((y + $3))"
    sleep 0.15
    xdotool mousedown 1
    sleep 0.15
    xdotool mouseup 1
}
# answer_box CAPTION-REGEX: waits for a message box and closes it with Enter.
answer_box() {
    local box
    box="$(wait_window "^$1\$" 30)" || return 1
    press "$box" Return
    gone_window "^$1\$" 10
}
# close_boxes: closes the message boxes a job shows, one after the other, until none is left.
close_boxes() {
    local box _
    for _ in $(seq 8); do
        box="$(wait_window '^KELVARIN - ' 5)" || return 0
        press "$box" Return
        sleep 0.5
    done
}
# end_status PID: the exit status of a program that should end within ten seconds, or "running".
end_status() {
    local _
    for _ in $(seq 50); do
        if ! kill -0 "$1" 2>/dev/null; then wait "$1"; echo $?; return; fi
        sleep 0.2
    done
    echo running
}

(cd "$GUI_DIR" && exec timeout 240 "$WINE" "$GUI_EXE" >"$GUI_DIR/wine.log" 2>&1) &
GUI_PID=$!
# Wine's first window on a new display is slow to come, more so on a busy machine.
if main="$(wait_window '^KELVARIN v3\.02$' 180)"; then
    pass "kelvarin.exe shows the window \"KELVARIN v3.02\""
    sleep 1

    # Enter arrives as command 1, which no table has: the no-such-option box, and the window stays.
    press "$main" Return
    if answer_box 'KELVARIN' && wait_window '^KELVARIN v3\.02$' 5 >/dev/null; then
        pass "Enter shows the no-such-option box \"KELVARIN\"; the window stays open"
    else
        fail "Enter shows the no-such-option box \"KELVARIN\"; the window stays open"
    fi
    press "$main" Escape
    if answer_box 'KELVARIN' && wait_window '^KELVARIN v3\.02$' 5 >/dev/null; then
        pass "Escape shows the no-such-option box \"KELVARIN\"; the window stays open"
    else
        fail "Escape shows the no-such-option box \"KELVARIN\"; the window stays open"
    fi

    # Focus memory: Shift+Tab from the log list (the first stop) wraps round to the last control,
    # "TE>Raw". Help > About (Up from "General" wraps round to "About") deactivates the window; once
    # its box is closed the focus is back on "TE>Raw", so Space ticks it (the mode warning) and
    # clears it again (the options-back box).
    main="$(wait_window '^KELVARIN v3\.02$' 5 || echo "$main")"
    press "$main" shift+Tab
    sleep 0.3
    xdotool key --delay 150 F10 Right Right Down Up Return
    if answer_box 'KELVARIN - Help\|About'; then
        pass "Help > About shows its page in \"KELVARIN - Help|About\""
        sleep 0.5
        xdotool key space
        if answer_box 'KELVARIN - Warning\.'; then
            sleep 0.5
            xdotool key space
            if answer_box 'KELVARIN - Information\.'; then
                pass "focus memory: TE>Raw has the focus again after the About box; ticking and clearing it show their boxes"
            else
                fail "clearing TE>Raw shows \"All Options are Activated.\""
            fi
        else
            fail "focus memory: TE>Raw has the focus again after the About box"
            close_boxes
        fi
    else
        fail "Help > About shows its page in \"KELVARIN - Help|About\""
    fi

    # File > Open TIF from the keyboard: F10 selects the menu bar, Down opens "File" on its first
    # item, Return chooses it. Cancelling the dialog runs the job's failure path.
    press "$main" F10 Down Return
    if dialog="$(wait_window '^KELVARIN Open TIF$' 30)"; then
        pass "File > Open TIF opens the dialog \"KELVARIN Open TIF\""
        press "$dialog" Escape
        if answer_box 'KELVARIN - Open Error' && answer_box 'KELVARIN - File\|Open' && answer_box 'KELVARIN - Error\.'; then
            pass "cancelled Open TIF: \"No Input File Selected.\", \"File not found.\", \"There were errors.\""
        else
            fail "cancelled Open TIF: \"No Input File Selected.\", \"File not found.\", \"There were errors.\""
        fi
    else
        fail "File > Open TIF opens the dialog \"KELVARIN Open TIF\""
    fi

    # Convert > 3 RAW to 3 16-bit TIF (Up from the first item wraps round to the last): its warning
    # leaves the window enabled with the conversion items greyed, so File > Open TIF does nothing
    # then; after Cancel the items work again (checked by the conversion below).
    main="$(wait_window '^KELVARIN v3\.02$' 5 || echo "$main")"
    press "$main" F10 Right Down Up Return
    if warning="$(wait_window '^KELVARIN - Warning\.$' 30)"; then
        # A click on "File" in the menu bar activates the window (the warning has the keyboard)
        # and opens the menu; Down and Return then choose its first item, "Open TIF".
        click "$main" 16 32
        sleep 0.5
        xdotool key --delay 150 Down Return
        if wait_window '^KELVARIN Open TIF$' 4 >/dev/null; then
            fail "conversion items are greyed while a command runs" "Open TIF opened under the terrain warning"
        else
            pass "conversion items are greyed while a command runs (File > Open TIF under the terrain warning)"
        fi
        # Back to the warning, now behind the window: raised and clicked on its caption (twice: a
        # first click may only close a menu still open), then Escape is its Cancel.
        for _ in 1 2; do
            xdotool windowraise "$warning" >/dev/null 2>&1
            sleep 0.3
            click "$warning" 60 10
            sleep 0.3
        done
        xdotool key Escape
        gone_window '^KELVARIN - Warning\.$' 10 || fail "the terrain warning closes with Cancel"
        wait_window '^KELVARIN - (Success|Error)\.$' 3 >/dev/null &&
            fail "a cancelled terrain warning shows no result box"
    else
        fail "Convert > 3 RAW to 3 16-bit TIF shows the terrain warning"
    fi

    # A whole conversion through the common dialogs, with non-ASCII folder and file names, into an
    # existing longer file: the output equals the Linux build's.
    main="$(wait_window '^KELVARIN v3\.02$' 5 || echo "$main")"
    press "$main" F10 Down Return
    problem=""
    if dialog="$(wait_window '^KELVARIN Open TIF$' 30)"; then
        press "$dialog" ctrl+a
        xdotool type --delay 40 "$GUI_WINDOWS_DIR\\dür\\höhe-Ω.tif"
        xdotool key Return
        if dialog="$(wait_window '^KELVARIN Save$' 30)"; then
            press "$dialog" ctrl+a
            xdotool type --delay 40 "$GUI_WINDOWS_DIR\\dür\\grau-ß.tif"
            xdotool key Return
            answer_box 'KELVARIN - Success\.' || problem="no \"KELVARIN - Success.\" box"
            [ -z "$problem" ] && { same_output "$RUNS/tif-non-ascii-names/linux/dür/grau-ß.tif" "$GUI_DIR/dür/grau-ß.tif" \
                >"$OUT/check.out" 2>&1 || problem="output differs from the Linux build's: $(head -c 200 "$OUT/check.out")"; }
        else
            problem="no \"KELVARIN Save\" dialog after the source was chosen"
            close_boxes
        fi
    else
        problem="no \"KELVARIN Open TIF\" dialog"
    fi
    if [ -z "$problem" ]; then pass "File > Open TIF converts dür\\höhe-Ω.tif through the dialogs like the Linux build"
    else fail "File > Open TIF converts dür\\höhe-Ω.tif through the dialogs like the Linux build" "$problem"; fi

    main="$(wait_window '^KELVARIN v3\.02$' 5 || echo "$main")"
    take_picture "$main"
    press "$main" alt+F4
    status="$(end_status "$GUI_PID")"
    if [ "$status" = "0" ]; then pass "kelvarin.exe ends with status 0 when its window is closed (Alt+F4)"
    else fail "kelvarin.exe ends with status 0 when its window is closed (Alt+F4)" "status $status"; fi
else
    fail "kelvarin.exe shows the window \"KELVARIN v3.02\"" "$(tail -5 "$GUI_DIR/wine.log")"
fi
kill "$GUI_PID" >/dev/null 2>&1 || true

# File > Quit: Up from the first item of "File" wraps round to "Quit".
(cd "$GUI_DIR" && exec timeout 120 "$WINE" "$GUI_EXE" >"$GUI_DIR/wine-quit.log" 2>&1) &
GUI_PID=$!
if main="$(wait_window '^KELVARIN v3\.02$' 60)"; then
    sleep 1
    press "$main" F10 Down Up Return
    status="$(end_status "$GUI_PID")"
    if [ "$status" = "0" ]; then pass "File > Quit ends kelvarin.exe with status 0"
    else fail "File > Quit ends kelvarin.exe with status 0" "status $status"; fi
else
    fail "kelvarin.exe starts a second time"
fi
kill "$GUI_PID" >/dev/null 2>&1 || true

summary
