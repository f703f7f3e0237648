#!/usr/bin/env bash
# Checks what a user gets from the README's build and package commands:
#   - configuring without GoogleTest builds the programs and says why the tests are left out;
#     asking for the window without Qt stops with a message naming the Debian package;
#   - `cpack -G DEB` in the window build (build/qt, made by tools/test.sh) holds the two programs,
#     a valid desktop entry, the icon, a valid AppStream entry, the manual pages, the bash
#     completion, the manual, the copyright file and the changelog, nothing else; lintian finds no
#     error and no warning in it; its Depends names the package of every library the programs
#     load (readelf + ldd) and the Qt platform plugins; apt-get accepts it;
#   - the bash completion offers the commands, options, option values and files of each kind;
#   - `cpack -G ZIP` in the MinGW build of tools/windows-check.sh holds kelvarin.exe,
#     kelvarin-cli.exe, both with the icon, and README.txt and LICENSE.txt with Windows line ends.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_packages bash-completion
ensure_tools cmake cpack file dpkg-deb dpkg-architecture desktop-file-validate readelf ldd python3 \
    x86_64-w64-mingw32-objdump lintian appstreamcli zcat man

OUT="$ROOT/build/package-check"
QT_BUILD="${QT_BUILD:-$ROOT/build/qt}"  # another window build folder, by hand
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
        printf '%s\n' ./usr/share/metainfo/example.c_seed_31bf382f.kelvarin.metainfo.xml \
            ./usr/share/man/man1/kelvarin-cli.1.gz ./usr/share/man/man1/kelvarin.1.gz \
            ./usr/share/bash-completion/completions/kelvarin-cli \
            ./usr/share/doc/kelvarin/copyright ./usr/share/doc/kelvarin/changelog.gz
        (cd "$ROOT" && find docs -name '*.md' -o -name '*.png') | sed 's|^docs/|./usr/share/doc/kelvarin/|'
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
check "its AppStream entry is valid (appstreamcli validate) and launches the desktop entry" \
    sh -c 'appstreamcli validate --no-net "$1" && grep -q "<launchable type=\"desktop-id\">kelvarin.desktop</launchable>" "$1"' \
    sh "$OUT/root/usr/share/metainfo/example.c_seed_31bf382f.kelvarin.metainfo.xml"
changelog_entry() {
    zcat "$OUT/root/usr/share/doc/kelvarin/changelog.gz" | head -1 | grep -qx "kelvarin ($VERSION) stable; urgency=medium"
}
check "its changelog.gz starts with the entry of $VERSION" changelog_entry
manual_pages() {
    local page
    for page in kelvarin-cli kelvarin; do
        MANWIDTH=80 man -l "$OUT/root/usr/share/man/man1/$page.1.gz" 2>&1 | grep -q "^NAME" || { echo "no $page(1)"; return 1; }
    done
    MANWIDTH=80 man -l "$OUT/root/usr/share/man/man1/kelvarin-cli.1.gz" 2>/dev/null | grep -q -- "--shared-range"
}
check "its manual pages kelvarin-cli(1) and kelvarin(1) format" manual_pages
# Overrides would go to usr/share/lintian/overrides/kelvarin, each with its reason; none is needed.
check "lintian finds no error and no warning" lintian --fail-on error,warning --no-tag-display-limit "$DEB"
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

# The completion as bash runs it on Tab: COMP_WORDS up to the cursor, the candidates in COMPREPLY.
completes() {  # completes "LINE" EXPECTED...: the candidates for the last word of LINE, sorted
    local line="$1"; shift
    local got
    got="$(cd "$OUT/completion" && bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        read -ra COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$2"; COMP_POINT=${#2}
        _kelvarin_cli kelvarin-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' sh "$OUT/root/usr/share/bash-completion/completions/kelvarin-cli" "$line")"
    [ "$got" = "$(printf '%s\n' "$@" | sort | tr '\n' ' ')" ] || { echo "'$line': $got (expected: $*)"; return 1; }
}
completion() {
    rm -rf "$OUT/completion" && mkdir -p "$OUT/completion/maps"
    touch "$OUT/completion/"{a.tif,b.TIFF,sky.hdr,ridge.pgm,valley.raw,crater.bin,N45E006.hgt,notes.txt}
    completes "kelvarin-cli te" terrain3 terrain4-avg terrain4-max &&
        completes "kelvarin-cli --sw" --swap &&
        completes "kelvarin-cli --weighting h" hdtv &&
        completes "kelvarin-cli --format " tif png r16 &&
        completes "kelvarin-cli --boost --posterise 1" 12 16 &&
        completes "kelvarin-cli --size 2049 tif " a.tif b.TIFF maps &&
        completes "kelvarin-cli hdr " sky.hdr maps &&
        completes "kelvarin-cli open N" N45E006.hgt &&
        completes "kelvarin-cli tif a.tif n" notes.txt &&
        completes "kelvarin-cli bin crater.bin " sky.hdr maps &&
        completes "kelvarin-cli --out-dir m" maps &&
        completes "kelvarin-cli help b" batch bin
}
check "the bash completion offers commands, options, their values and the files of each command" completion

if [ -f "$MINGW_BUILD/src/ui/win32/kelvarin.exe" ]; then
    echo "== Windows zip (cpack -G ZIP in ${MINGW_BUILD#"$ROOT"/})"
    (cd "$MINGW_BUILD" && cpack -G ZIP -B "$OUT") >"$OUT/cpack-zip.log" 2>&1 || { cat "$OUT/cpack-zip.log"; exit 1; }
    check "kelvarin-${VERSION}-win64.zip: kelvarin.exe, kelvarin-cli.exe, README.txt and LICENSE.txt (CR LF), both programs with the icon" \
        /usr/bin/python3 - "$OUT/kelvarin-${VERSION}-win64.zip" "kelvarin-${VERSION}-win64" <<'PYTHON'
import re, subprocess, sys, tempfile, zipfile
path, top = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(path) as z:
    names = sorted(z.namelist())
    expected = sorted(top + '/' + n for n in ('kelvarin.exe', 'kelvarin-cli.exe', 'README.txt', 'LICENSE.txt'))
    assert names == expected, names
    readme = z.read(top + '/README.txt')
    assert b'kelvarin-cli.exe' in readme and readme.count(b'\n') == readme.count(b'\r\n') > 10, 'README.txt line ends'
    licence = z.read(top + '/LICENSE.txt')
    assert b'Copyright (c) 2026 The KELVARIN developers' in licence and b'zlib' in licence, 'LICENSE.txt'
    assert licence.count(b'\n') == licence.count(b'\r\n') > 10, 'LICENSE.txt line ends'
    for exe in ('kelvarin.exe', 'kelvarin-cli.exe'):
        with tempfile.NamedTemporaryFile(suffix='.exe') as f:
            f.write(z.read(top + '/' + exe)); f.flush()
            dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', f.name], capture_output=True, text=True).stdout
        # The resource directory's type level: 0x0e is RT_GROUP_ICON.
        assert re.search(r'^0[0-9a-f]{2}   Entry: ID: 0x00000e,', dump, re.M), exe + ' has no icon'
PYTHON
fi

[ "$FAILED" -eq 0 ] && echo "package-check: all passed" || { echo "package-check: $FAILED failed"; exit 1; }
