#!/usr/bin/env bash
# The simulated Wi-Fi world of a data root, for the Wi-Fi stand-ins in bin/ (see
# bin/_wifiworld for the files).
#   wifi.sh init                    lay out the world: device wlan0 present, the networks
#                                   in range (an edited list is kept), supplicant stopped
#   wifi.sh device add|remove [DEV] plug or pull the Wi-Fi device (default wlan0)
#   wifi.sh mode PROG ok|fail|hang|partial|refuse|noreply [COMMAND...]
#                                   make a Wi-Fi program misbehave (wpa_cli: only for the
#                                   named commands, if given)
#   wifi.sh show                    the networks, their keys and the world's state
# The data root is $ORBELIN_ROOT, or build/dataroot of this repository.
set -euo pipefail
root="${ORBELIN_ROOT:-$(cd "$(dirname "$0")/.." && pwd)/build/dataroot}"
world="$root/wifi"

usage() { sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
check_name() {
    [[ "${1:-}" =~ ^[A-Za-z0-9_-]+$ ]] || { echo "wifi: bad name '${1:-}'" >&2; exit 2; }
}

case "${1:-}" in
init)
    mkdir -p "$world" "$root/sys/class/net/wlan0" "$root/etc" "$root/tmp" "$root/run"
    if [ ! -f "$world/networks" ]; then
        {
            printf '# BSSID\tGHz\tchannel\tquality\tsignal\thidden\tkey ("-": open)\taddress\tgateway\tSSID\n'
            printf '00:1A:2B:3C:4D:01\t2.437\t6\t70/70\t-40 dBm\t0\tcellcount\t192.168.10.57\t192.168.10.1\tLabNet\n'
            printf '00:1A:2B:3C:4D:02\t5.18\t36\t62/70\t-52 dBm\t0\tfastlane55\t192.168.20.57\t192.168.20.1\tLab\n'
            printf '00:1A:2B:3C:4D:03\t2.412\t1\t48/70\t-62 dBm\t0\t-\t192.168.30.57\t192.168.30.1\tGuest\n'
            printf '00:1A:2B:3C:4D:04\t2.462\t11\t40/70\t-70 dBm\t1\thiddenkey1\t192.168.40.57\t192.168.40.1\tService\n'
            printf '00:1A:2B:3C:4D:05\t2.437\t6\t20/70\t-88 dBm\t0\toffice2fl\t192.168.50.57\t192.168.50.1\tOffice 2nd floor\n'
        } > "$world/networks"
    fi
    [ -f "$world/routes" ] || : > "$world/routes"
    [ -f "$world/settings" ] || printf 'scan_delay=1\nchunk_delay=0.05\n' > "$world/settings"
    [ -f "$root/etc/wpa_supplicant.conf" ] ||
        printf 'ctrl_interface=/var/run/wpa_supplicant\nupdate_config=0\n' > "$root/etc/wpa_supplicant.conf"
    # The instrument has just started: no supplicant, the device down.
    rm -rf "$world/state"
    mkdir -p "$world/state"
    ;;
device)
    dev="${3:-wlan0}"
    check_name "$dev"
    case "${2:-}" in
        add) mkdir -p "$root/sys/class/net/$dev" ;;
        remove) rm -rf "${root:?}/sys/class/net/$dev" ;;
        *) usage ;;
    esac
    ;;
mode)
    prog="${2:-}"
    check_name "$prog"
    case "${3:-}" in
        ok) rm -f "$root/run/$prog.mode" ;;
        fail|hang|partial|refuse|noreply) mkdir -p "$root/run"; shift 2; echo "$*" > "$root/run/$prog.mode" ;;
        *) usage ;;
    esac
    ;;
show)
    echo "Device: $(ls "$root/sys/class/net" 2>/dev/null | grep '^wlan' | tr '\n' ' ')"
    echo "Networks in range (SSID, key):"
    grep -v '^#' "$world/networks" | awk -F'\t' '{ printf "  %-20s %s%s\n", $10, ($7 == "-" ? "(open)" : $7), ($6 == 1 ? "  [hidden]" : "") }'
    for f in "$root"/run/*.mode; do [ -f "$f" ] && echo "Mode: $(basename "$f" .mode) $(cat "$f")"; done
    [ -f "$world/state/supplicant" ] && echo "wpa_supplicant runs for $(sed -n 1p "$world/state/supplicant")"
    [ -f "$world/state/address" ] && echo "Address: $(cat "$world/state/address")"
    true
    ;;
*) usage ;;
esac
