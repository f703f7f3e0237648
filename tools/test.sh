#!/usr/bin/env bash
# Builds everything and runs every test: the README's window build with its suite (the Qt window
# tests offscreen), the core suite again under AddressSanitizer + UndefinedBehaviorSanitizer, and
# the extra checks that exist (the documents and their examples, Windows cross-build under Wine,
# packages, fuzzing). Each extra check also runs alone: bash tools/doc-check.sh and so on.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev qt6-base-dev python3-numpy python3-tifffile python3-png \
    python3-openimageio python3-gdal
# The suites compare outputs with what these programs read and write.
ensure_tools cmake ctest g++ make python3 convert identify tiffinfo tiffcp tiffdump pgmramp pnmtopnm pfsin pfsout \
    pgmnoise rgb3toppm pamdepth pgmtopbm pnmtoplainpnm pamtable pamfile exrmaketiled \
    pngcheck localedef gdal_translate
# The locale test runs the core under a comma-decimal locale as well as in "C".
ensure_packages locales
ensure_locale de_DE UTF-8

echo "== includes point down the layers"
python3 "$ROOT/tools/check-includes" "$ROOT/src"

# The README's window command, as written: a user's build, default build type, no -Werror. A
# warning still fails the check here, but only after the build has shown it whole.
README_BUILD='cmake -S . -B build/qt -DKELVARIN_BUILD_QT=ON && cmake --build build/qt -j2'
echo "== the README's window build: $README_BUILD"
grep -qF "$README_BUILD" "$ROOT/README.md" || { echo "README.md no longer shows: $README_BUILD"; exit 1; }
mkdir -p "$ROOT/build"
(cd "$ROOT" && eval "$README_BUILD") 2>&1 | tee "$ROOT/build/qt-build.log"
if grep -q 'warning:' "$ROOT/build/qt-build.log"; then
    echo "the README's window build shows compiler warnings (build/qt-build.log)"
    exit 1
fi
ctest --test-dir "$ROOT/build/qt" --output-on-failure --no-tests=error -j"$JOBS"

echo "== core tests under AddressSanitizer + UndefinedBehaviorSanitizer, warnings as errors"
cmake -S "$ROOT" -B "$ROOT/build/asan" -DCMAKE_BUILD_TYPE=Debug -DKELVARIN_SANITIZE=ON -DKELVARIN_WERROR=ON >/dev/null
cmake --build "$ROOT/build/asan" -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$ROOT/build/asan" --output-on-failure --no-tests=error -j"$JOBS"

for extra in doc-check.sh windows-check.sh package-check.sh fuzz.sh; do
    if [ -x "$ROOT/tools/$extra" ]; then
        echo "== tools/$extra"
        "$ROOT/tools/$extra"
    fi
done
echo "== all tests passed"
