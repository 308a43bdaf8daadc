#!/usr/bin/env bash
# Starts the background stand-ins (controller board, ...) for a data root.
# Usage: start-standins.sh ROOT BUILD
set -euo pipefail
root="$1"
build="$2"
mkdir -p "$root/run" "$root/calls" "$root/dev"

# The controller board on "/dev/ttyUSB0". Its behaviour can be changed while it runs
# through $root/run/board.control (see standins/board/main.cpp); ORBELIN_NO_BOARD=1
# starts the program without a board.
# A link left by a board that did not end cleanly goes first.
if [ -L "$root/dev/ttyUSB0" ]; then rm -f "$root/dev/ttyUSB0"; fi
if [ "${ORBELIN_NO_BOARD:-0}" != 1 ]; then
    "$build/standins/orbelin-board" --link "$root/dev/ttyUSB0" --log "$root/calls/board.log" \
        --control "$root/run/board.control" > "$root/run/board.out" 2>&1 &
    echo $! > "$root/run/board.pid"
    for _ in $(seq 50); do
        [ -L "$root/dev/ttyUSB0" ] && break
        sleep 0.1
    done
fi
