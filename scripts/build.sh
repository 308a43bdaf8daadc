#!/usr/bin/env bash
# Configures and builds the program, the stand-ins and the tests in build/.
# With "sanitize": the library and the unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (Debug) in build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = sanitize ]; then
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORBELIN_SANITIZE=ON >/dev/null
    cmake --build build-sanitize -j"$(nproc)"
else
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)"
fi
