#!/usr/bin/env bash
# Stand-in for the instrument's launcher: starts the program and acts on its exit status.
#   1  stop
#   10 start the program again (after a software update)
#   11 start the demo program /root/ORBELIN_Vn/ORBELIN_Vn-demo
# Usage: launcher.sh PROGRAM   (ORBELIN_ROOT names the data root)
set -u
program="$1"
root="${ORBELIN_ROOT:-}"
log() { echo "launcher: $*" >&2; }

while true; do
    log "starting $program"
    "$program"
    status=$?
    log "$program ended with status $status"
    echo "$status" >> "$root/launcher-status.log"
    case "$status" in
        10) continue ;;
        11)
            demo="$root/root/ORBELIN_Vn/ORBELIN_Vn-demo"
            if [ -x "$demo" ]; then
                log "starting the demo program"
                "$demo"
            fi
            exit 0 ;;
        *) exit "$status" ;;
    esac
done
