# Shared by the set-up scripts: install the Debian packages a step needs when they are missing.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Compile a locale when the system lacks it (the `locales` package holds the sources). Without
# it the tests that need it skip, so a failure here only warns.
ensure_locale() {
    local input="$1" charmap="$2" name="$1.$2"
    locale -a 2>/dev/null | grep -qix "$input\.$(echo "$charmap" | sed 's/-//')\|$name" && return 0
    echo "== generating the $name locale"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo localedef -i "$input" -f "$charmap" "$name" || echo "== could not generate $name; its tests will skip" >&2
}

# zlib compresses the PNG output; tinyexr.h decodes OpenEXR sources; the tests hold the resampler
# to stb_image_resize.h.
BUILD_PACKAGES=(cmake g++ make zlib1g-dev libstb-dev libtinyexr-dev)

# Every program the set-up and test commands run, with the Debian package it comes from. A step
# names the programs it runs with ensure_tools, which installs what is missing and then fails, by
# name, if one is still not found: a fresh machine has none of them, and neither `file` (CPack's
# DEB generator) nor git may be assumed.
declare -A TOOL_PACKAGE=(
    [cmake]=cmake [ctest]=cmake [cpack]=cmake [g++]=g++ [make]=make [python3]=python3
    [clang]=clang [clang++]=clang [llvm-profdata-14]=llvm-14 [llvm-cov-14]=llvm-14
    [x86_64-w64-mingw32-g++-posix]=g++-mingw-w64-x86-64-posix [x86_64-w64-mingw32-objdump]=binutils-mingw-w64-x86-64
    [wine]=wine [Xvfb]=xvfb [xdotool]=xdotool [xmodmap]=x11-xserver-utils
    [convert]=imagemagick [identify]=imagemagick [import]=imagemagick
    [tiffinfo]=libtiff-tools [tiffcp]=libtiff-tools [tiffdump]=libtiff-tools
    [pgmramp]=netpbm [pnmtopnm]=netpbm [pgmnoise]=netpbm [rgb3toppm]=netpbm [pamdepth]=netpbm
    [pgmtopbm]=netpbm [pnmtoplainpnm]=netpbm [pamtable]=netpbm [pamfile]=netpbm [exrmaketiled]=openexr
    [pfsin]=pfstools [pfsout]=pfstools [pngcheck]=pngcheck [gdal_translate]=gdal-bin
    [localedef]=libc-bin [ldd]=libc-bin [readelf]=binutils [file]=file
    [dpkg-deb]=dpkg [dpkg-architecture]=dpkg-dev [desktop-file-validate]=desktop-file-utils
    [debootstrap]=debootstrap [mount]=mount [git]=git
    [lintian]=lintian [appstreamcli]=appstream [groff]=groff-base [gzip]=gzip [zcat]=gzip [man]=man-db
)

ensure_tools() {
    local tool packages=() missing=()
    for tool in "$@"; do
        [ -n "${TOOL_PACKAGE[$tool]:-}" ] || { echo "ensure_tools: no package listed for $tool (tools/common.sh)" >&2; exit 1; }
        packages+=("${TOOL_PACKAGE[$tool]}")
    done
    ensure_packages "${packages[@]}"
    for tool in "$@"; do command -v "$tool" >/dev/null || missing+=("$tool (${TOOL_PACKAGE[$tool]})"); done
    [ "${#missing[@]}" -eq 0 ] || { echo "not found after installing: ${missing[*]}" >&2; exit 1; }
}
