#!/usr/bin/env bash
# Sets up, builds and runs every test: the command CI runs. Six stages:
#   1. the formatting of every C++ source and sketch, checked against .clang-format,
#   2. the everyday build (warnings as errors) and its tests,
#   3. the same tests built with address and undefined-behaviour sanitizers,
#   4. a bounded run of every fuzz target (FUZZ_SECONDS each, 60 by default),
#   5. the build a newcomer tries first: CMake's default generator, no preset, no build
#      type, warnings not made errors (built, not tested again),
#   6. the Debian package of the release build, checked without installing it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-packages.sh

echo "== Formatting (clang-format)"
git ls-files -z '*.cpp' '*.h' '*.ino' | xargs -0 clang-format --dry-run --Werror

echo "== Build and test (dev)"
cmake --preset dev
cmake --build --preset dev
ctest --preset dev

echo "== Build and test under sanitizers (asan)"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "== Fuzz"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

echo "== Build with CMake's defaults (no preset)"
cmake -S . -B build/plain
cmake --build build/plain --parallel "$(nproc)"

echo "== Debian package"
bash scripts/package.sh
bash scripts/check-package.sh
