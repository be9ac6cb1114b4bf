#!/usr/bin/env bash
# Sets up, builds and runs every test: the command CI runs. Seven stages:
#   1. the formatting of every C++ source and sketch, checked against .clang-format,
#   2. the everyday build (warnings as errors) and its tests,
#   3. clang-tidy over the product's sources, its findings as errors (.clang-tidy),
#   4. the same tests built with address and undefined-behaviour sanitizers,
#   5. a bounded run of every fuzz target (FUZZ_SECONDS each, 60 by default),
#   6. the build a newcomer tries first: CMake's default generator, no preset, no build
#      type, warnings not made errors (built, not tested again),
#   7. the Debian package of the release build, checked without installing it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-packages.sh

echo "== Formatting (clang-format)"
git ls-files -z '*.cpp' '*.h' '*.ino' | xargs -0 clang-format --dry-run --Werror

echo "== Build and test (dev)"
cmake --preset dev
cmake --build --preset dev
ctest --preset dev

echo "== Static analysis (clang-tidy)"
# run-clang-tidy takes patterns: each source is named by its whole path, anchored.
mapfile -t sources < <(git ls-files '*.cpp' ':!tests/*' ':!bench/*' ':!fuzz/*' ':!board/*' |
    sed "s|^|^$PWD/|; s|\$|\$|")
run-clang-tidy -p build/dev -quiet -j "$(nproc)" "${sources[@]}" >build/dev/clang-tidy.log 2>&1 ||
    { grep -E 'warning:|error:' build/dev/clang-tidy.log; exit 1; }

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
