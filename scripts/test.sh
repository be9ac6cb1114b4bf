#!/usr/bin/env bash
# Sets up, builds and runs every test: the command CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-packages.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
