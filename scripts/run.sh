#!/usr/bin/env bash
# Sets up, builds and starts the Pixelcast window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-packages.sh
cmake --preset dev
cmake --build --preset dev --target pixelcast
exec ./build/dev/pixelcast "$@"
