#!/usr/bin/env bash
# Stand-in for the instrument's launcher: starts "/root/loader" (the link to the loader
# of the installed version, which starts the program) and acts on the exit status:
#   1   stop
#   10  start "/root/loader" again: a software update was installed
#   11  start the demo program "/root/ORBELIN_Vn/ORBELIN_Vn-demo", then the program again
#   any other status: stop with it
# Usage: launcher.sh        (ORBELIN_ROOT names the data root)
# Every start and status is logged on standard error and the statuses in
# $ORBELIN_ROOT/launcher-status.log. SIGTERM ends the running program and the launcher.
set -u
root="${ORBELIN_ROOT:?ORBELIN_ROOT must name the data root}"
log() { echo "launcher: $*" >&2; }

child=
stop() {
    if [ -n "$child" ]; then
        kill -TERM "$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    exit 143
}
trap stop TERM INT

# Runs a program in the background so that a signal reaches the trap; sets status.
run() {
    "$@" &
    child=$!
    wait "$child"
    status=$?
    child=
}

while true; do
    loader="$root/root/loader"
    if [ ! -x "$loader" ]; then
        log "no loader at /root/loader"
        exit 1
    fi
    log "starting /root/loader -> $(basename "$(readlink "$loader" 2>/dev/null || echo "$loader")")"
    run "$loader"
    log "program ended with status $status"
    echo "$status" >> "$root/launcher-status.log"
    case "$status" in
        10) continue ;;
        11)
            demo="$root/root/ORBELIN_Vn/ORBELIN_Vn-demo"
            if [ -x "$demo" ]; then
                log "starting the demo program"
                run "$demo"
                log "demo program ended with status $status"
            fi
            continue ;;
        *) exit "$status" ;;
    esac
done
