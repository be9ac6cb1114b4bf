#!/usr/bin/env bash
# Builds the release and makes the Debian package of it: build/release/pixelcast_*.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-packages.sh
rm -f build/release/pixelcast_*.deb
cmake --workflow --preset package
