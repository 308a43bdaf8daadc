#!/usr/bin/env bash
# Starts the background stand-ins (controller board, ...) for a data root.
set -euo pipefail
root="$1"
build="$2"
mkdir -p "$root/run"
