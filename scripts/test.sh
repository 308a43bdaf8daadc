#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then the unit tests once more
# under the sanitizers (the end-to-end journeys run in build/ only).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/build.sh sanitize
status=0
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300) || status=1
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)" --timeout 300 -LE e2e) || status=1
exit "$status"
