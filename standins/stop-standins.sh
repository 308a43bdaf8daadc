#!/usr/bin/env bash
# Stops the background stand-ins that start-standins.sh started for a data root.
root="$1"
for pidfile in "$root"/run/*.pid; do
    [ -f "$pidfile" ] || continue
    kill "$(cat "$pidfile")" 2>/dev/null
    rm -f "$pidfile"
done
