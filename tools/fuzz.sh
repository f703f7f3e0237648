#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (ASan + UBSan), runs each for a bounded
# time on a copy of its seed corpus, and prints each target's executions and the readers' line
# coverage over the corpora it ended with. The driver, tests/fuzz/run_fuzz.py, describes the
# settings (FUZZ_SECONDS, FUZZ_SEED, FUZZ_FLAGS, FUZZ_BUILD, FUZZ_COVERAGE).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" libclang-rt-14-dev
ensure_tools cmake clang clang++ llvm-profdata-14 llvm-cov-14 python3
exec python3 "$ROOT/tests/fuzz/run_fuzz.py"
