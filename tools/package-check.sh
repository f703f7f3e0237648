#!/usr/bin/env bash
# Checks what a user gets from the README's build and package commands:
#   - configuring without GoogleTest builds the programs and says why the tests are left out;
#     asking for the window without Qt stops with a message naming the Debian package;
#   - `cpack -G DEB` in the window build (build/qt, made by tools/test.sh) holds the two programs,
#     a valid desktop entry and the icon, nothing else; its Depends names the package of every
#     library the programs load (readelf + ldd) and the Qt platform plugins; apt-get accepts it;
#   - `cpack -G ZIP` in the MinGW build of tools/windows-check.sh holds kelvarin.exe,
#     kelvarin-cli.exe, both with the icon, and README.txt with Windows line ends.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_tools cmake cpack file dpkg-deb dpkg-architecture desktop-file-validate readelf ldd python3 \
    x86_64-w64-mingw32-objdump

OUT="$ROOT/build/package-check"
QT_BUILD="$ROOT/build/qt"
MINGW_BUILD="${MINGW_BUILD:-$ROOT/build/windows-check/mingw}"  # another MinGW build folder, by hand
VERSION="$(sed -n 's/^project(kelvarin VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
rm -rf "$OUT"
mkdir -p "$OUT"
FAILED=0
check() {  # check NAME COMMAND...
    local name="$1"; shift
    if "$@" >"$OUT/check.out" 2>&1; then echo "  ok    $name"; else
        echo "  FAIL  $name"; sed 's/^/        /' "$OUT/check.out" | head -20; FAILED=$((FAILED + 1)); fi
}

configure_says() {  # configure_says EXPECTED_STATUS TEXT CMAKE-ARGS...: the configure's status and message
    local expected="$1" text="$2" status=0; shift 2
    cmake -S "$ROOT" -B "$OUT/configure" "$@" >"$OUT/configure.log" 2>&1 || status=1
    rm -rf "$OUT/configure"
    tr -s ' \n' ' ' <"$OUT/configure.log"
    [ "$status" -eq "$expected" ] && tr -s ' \n' ' ' <"$OUT/configure.log" | grep -qF "$text"
}
check "no GoogleTest: the programs configure, the tests are left out with a message" \
    configure_says 0 "GoogleTest not found (Debian: apt install libgtest-dev)" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
check "no Qt: the window build stops, naming qt6-base-dev" \
    configure_says 1 "On Debian or Ubuntu: apt install qt6-base-dev" -DKELVARIN_BUILD_QT=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON

echo "== Debian package (cpack -G DEB in build/qt)"
(cd "$QT_BUILD" && cpack -G DEB -B "$OUT") >"$OUT/cpack-deb.log" 2>&1 || { cat "$OUT/cpack-deb.log"; exit 1; }
DEB="$OUT/kelvarin_${VERSION}_amd64.deb"
dpkg-deb -x "$DEB" "$OUT/root"
deb_files() {
    {
        printf '%s\n' ./usr/bin/kelvarin ./usr/bin/kelvarin-cli ./usr/share/applications/kelvarin.desktop \
            ./usr/share/icons/hicolor/scalable/apps/kelvarin.svg
        for size in 16 22 24 32 48 64 128 256; do echo "./usr/share/icons/hicolor/${size}x$size/apps/kelvarin.png"; done
    } | sort >"$OUT/expected-files"
    dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ {print $6}' | sort | diff "$OUT/expected-files" -
}
check "kelvarin_${VERSION}_amd64.deb holds the programs, the desktop entry and the icon, nothing else" deb_files
fields() {
    local field
    for field in "Package: kelvarin" "Version: $VERSION" "Architecture: amd64" "Section: graphics"; do
        [ "$(dpkg-deb -f "$DEB" "${field%%:*}")" = "${field#*: }" ] || { echo "not $field"; return 1; }
    done
    dpkg-deb -f "$DEB" Maintainer | grep -q '<.*@.*>' && [ "$(dpkg-deb -f "$DEB" Description | wc -l)" -ge 3 ]
}
check "its Package, Version, Architecture, Section, Maintainer and Description" fields
desktop_entry() {
    desktop-file-validate "$OUT/root/usr/share/applications/kelvarin.desktop" &&
        grep -qx 'Exec=kelvarin %f' "$OUT/root/usr/share/applications/kelvarin.desktop" &&
        grep -qx 'MimeType=image/tiff;image/vnd.radiance;image/x-hdr;image/x-portable-graymap;image/png;image/x-exr;image/x-portable-floatmap;image/x-portable-pixmap;image/x-portable-anymap;image/x-portable-bitmap;' \
            "$OUT/root/usr/share/applications/kelvarin.desktop"
}
check "its desktop entry is valid and opens every image kind File > Open... reads" desktop_entry
depends_cover_libraries() {
    local depends program library path package missing=""
    depends="$(dpkg-deb -f "$DEB" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')"
    echo "Depends: $(echo $depends)"
    grep -qx qt6-qpa-plugins <<<"$depends" || missing+=" qt6-qpa-plugins"
    for program in kelvarin kelvarin-cli; do
        for library in $(readelf -d "$OUT/root/usr/bin/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            path="$(ldd "$OUT/root/usr/bin/$program" | awk -v l="$library" '$1 == l {print $3}')"
            package="$(dpkg -S "*/$(basename "$path")" 2>/dev/null | grep -m1 -- "/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/" | cut -d: -f1)"
            grep -qx "${package:-?}" <<<"$depends" || missing+=" $library (${package:-no package})"
        done
    done
    [ -z "$missing" ] || { echo "not in Depends:$missing"; return 1; }
}
check "its Depends names every library the programs load, and the Qt platform plugins" depends_cover_libraries
check "apt-get accepts it (install --simulate)" apt-get install --simulate "$DEB"
check "the packaged kelvarin-cli runs (--help)" "$OUT/root/usr/bin/kelvarin-cli" --help

if [ -f "$MINGW_BUILD/src/ui/win32/kelvarin.exe" ]; then
    echo "== Windows zip (cpack -G ZIP in ${MINGW_BUILD#"$ROOT"/})"
    (cd "$MINGW_BUILD" && cpack -G ZIP -B "$OUT") >"$OUT/cpack-zip.log" 2>&1 || { cat "$OUT/cpack-zip.log"; exit 1; }
    check "kelvarin-${VERSION}-win64.zip: kelvarin.exe, kelvarin-cli.exe, README.txt (CR LF), both programs with the icon" \
        /usr/bin/python3 - "$OUT/kelvarin-${VERSION}-win64.zip" "kelvarin-${VERSION}-win64" <<'PYTHON'
import re, subprocess, sys, tempfile, zipfile
path, top = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(path) as z:
    names = sorted(z.namelist())
    expected = sorted(top + '/' + n for n in ('kelvarin.exe', 'kelvarin-cli.exe', 'README.txt'))
    assert names == expected, names
    readme = z.read(top + '/README.txt')
    assert b'kelvarin-cli.exe' in readme and readme.count(b'\n') == readme.count(b'\r\n') > 10, 'README.txt line ends'
    for exe in ('kelvarin.exe', 'kelvarin-cli.exe'):
        with tempfile.NamedTemporaryFile(suffix='.exe') as f:
            f.write(z.read(top + '/' + exe)); f.flush()
            dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', f.name], capture_output=True, text=True).stdout
        # The resource directory's type level: 0x0e is RT_GROUP_ICON.
        assert re.search(r'^0[0-9a-f]{2}   Entry: ID: 0x00000e,', dump, re.M), exe + ' has no icon'
PYTHON
fi

[ "$FAILED" -eq 0 ] && echo "package-check: all passed" || { echo "package-check: $FAILED failed"; exit 1; }
