#!/bin/sh
# Builds the Qt window if needed, starts it on a virtual X display and saves a picture of it.
# Usage: tools/screenshot.sh [OUTPUT.png]   (default docs/kelvarin-linux.png)
# BUILD_DIR selects the build folder (default build).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/kelvarin-linux.png}
app=$build/src/ui/qt/kelvarin

if [ ! -x "$app" ]; then
    cmake -S "$root" -B "$build" -DKELVARIN_BUILD_QT=ON
    cmake --build "$build" -j2 --target kelvarin
fi
for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 1; }
done

# Inside the virtual display: start the window, wait until it is mapped, grab it, end it.
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" sh -c '
    app=$1 out=$2
    # With a window manager the picture shows the caption bar too; without one only the client.
    wm=
    if command -v openbox >/dev/null; then
        openbox >/dev/null 2>&1 &
        wm=$!
        sleep 1
    fi
    QT_QPA_PLATFORM=xcb "$app" &
    pid=$!
    wid=
    tries=0
    while [ -z "$wid" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
        wid=$(xdotool search --onlyvisible --name "^KELVARIN v3.02$" 2>/dev/null | head -n 1 || true)
    done
    if [ -z "$wid" ]; then
        kill "$pid"
        [ -n "$wm" ] && kill "$wm"
        echo "screenshot.sh: the window did not appear" >&2
        exit 1
    fi
    sleep 1
    if [ -n "$wm" ]; then
        # The frame the window manager put around the window.
        frame=$(xwininfo -id "$wid" -children 2>/dev/null | sed -n "s/^  Parent window id: \(0x[0-9a-f]*\).*/\1/p")
        [ -n "$frame" ] && [ "$frame" != "$(xwininfo -root | sed -n "s/.*Window id: \(0x[0-9a-f]*\).*/\1/p")" ] && wid=$frame
    fi
    import -window "$wid" "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    [ -n "$wm" ] && kill "$wm"
' screenshot "$app" "$out"
echo "$out"
