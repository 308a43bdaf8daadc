#!/usr/bin/env bash
# Installs what is missing, builds, and starts the instrument program against the
# project's stand-ins, inside a data root of its own (build/dataroot).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

export ORBELIN_ROOT="${ORBELIN_ROOT:-$PWD/build/dataroot}"
export PATH="$PWD/standins/bin:$PATH"
bash standins/setup-dataroot.sh "$ORBELIN_ROOT" "$PWD/build"

cleanup() { bash standins/stop-standins.sh "$ORBELIN_ROOT" || true; }
trap cleanup EXIT
bash standins/start-standins.sh "$ORBELIN_ROOT" "$PWD/build"

echo "Data root: $ORBELIN_ROOT"
if [ -n "${DISPLAY:-}" ]; then
    standins/launcher.sh
else
    echo "No display: running under Xvfb."
    xvfb-run -a -s "-screen 0 1280x800x24" standins/launcher.sh
fi
