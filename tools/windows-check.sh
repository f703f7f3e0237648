#!/usr/bin/env bash
# Cross-builds the Windows programs (MinGW-w64, static runtime) and the Linux reference CLI, then
# runs tests/windows/check.py: the executables' imports, subsystems and manifest; kelvarin-cli.exe
# under Wine against the Linux build (the same outputs, boxes, exit status and log, for non-ASCII
# names too); kelvarin.exe driven in Xvfb (keys, menus, file dialogs, a conversion, closing).
# Usage: tools/windows-check.sh [--screenshot FILE] [--preview-screenshot FILE] [--gui-only]
#   --screenshot FILE  keep a picture of the window (taken after the conversion through the dialogs)
#   --preview-screenshot FILE  keep a picture of the preview window the conversion opened
#   --gui-only         of the conversions, run only the one the window's conversion is compared with
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage() { echo "usage: $0 [--screenshot FILE] [--preview-screenshot FILE] [--gui-only]" >&2; exit 2; }
options=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot | --preview-screenshot) [ $# -ge 2 ] || usage; shift 2 ;;
        --gui-only) shift ;;
        *) usage ;;
    esac
done

ensure_packages "${BUILD_PACKAGES[@]}" libz-mingw-w64-dev wine64 fonts-wine python3-numpy python3-tifffile python3-openimageio python3-xlib python3-pefile
ensure_tools cmake g++ x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine Xvfb xdotool xmodmap convert import tiffcp \
    python3

OUT="$ROOT/build/windows-check"
mkdir -p "$OUT"
echo "== cross-build (MinGW-w64, static runtime) and Linux reference build"
cross_status=0
{ cmake -S "$ROOT" -B "$OUT/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >"$OUT/mingw-configure.log" 2>&1 &&
      cmake --build "$OUT/mingw" -j"$JOBS" >"$OUT/mingw-build.log" 2>&1; } || cross_status=$?
linux_status=0
{ cmake -S "$ROOT" -B "$OUT/linux" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF \
      >"$OUT/linux-configure.log" 2>&1 &&
      cmake --build "$OUT/linux" -j"$JOBS" --target kelvarin-cli >"$OUT/linux-build.log" 2>&1; } || linux_status=$?

# The system's Python, which has numpy and tifffile.
exec /usr/bin/python3 "$ROOT/tests/windows/check.py" --out "$OUT" \
    --cross-build-status "$cross_status" --linux-build-status "$linux_status" "${options[@]}"
