#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/env.sh
# CI builds with compiler warnings as errors.
werror=()
[ "${CI:-}" = true ] && werror=(-DTALVORIN_WERROR=ON)
cmake -S . -B build -G Ninja "${werror[@]}"
cmake --build build
# The parsers of files from outside (chapter stores, movies) under libFuzzer, bounded in time.
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
ctest --test-dir build --output-on-failure -j2 --timeout 600
