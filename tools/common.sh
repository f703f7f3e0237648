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

# zlib compresses the PNG output; stb_image_resize.h resamples to engine sizes.
BUILD_PACKAGES=(cmake g++ make zlib1g-dev libstb-dev)
