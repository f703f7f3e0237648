#!/usr/bin/env bash
# Builds everything and runs every test: the suite (with the Qt window tests, offscreen), the core
# suite again under AddressSanitizer + UndefinedBehaviorSanitizer, and the extra checks that exist
# (Windows cross-build under Wine, fuzzing).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev qt6-base-dev python3 python3-numpy python3-tifffile \
    imagemagick libtiff-tools netpbm pfstools
# The locale test runs the core under a comma-decimal locale as well as in "C".
ensure_packages locales
ensure_locale de_DE UTF-8

echo "== build and test"
cmake -S "$ROOT" -B "$ROOT/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_BUILD_QT=ON >/dev/null
cmake --build "$ROOT/build/test" -j"$JOBS"
ctest --test-dir "$ROOT/build/test" --output-on-failure -j"$JOBS"

echo "== core tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S "$ROOT" -B "$ROOT/build/asan" -DCMAKE_BUILD_TYPE=Debug -DKELVARIN_SANITIZE=ON >/dev/null
cmake --build "$ROOT/build/asan" -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$ROOT/build/asan" --output-on-failure -j"$JOBS"

for extra in windows-check.sh fuzz.sh; do
    if [ -x "$ROOT/tools/$extra" ]; then
        echo "== tools/$extra"
        "$ROOT/tools/$extra"
    fi
done
echo "== all tests passed"
