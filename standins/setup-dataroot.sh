#!/usr/bin/env bash
# Lays out a data root for the desktop run: the instrument's folders, and the sample
# data and stand-in devices. Keeps what an earlier run left.
set -euo pipefail
root="$1"
mkdir -p "$root"/root/ORBELIN_Vn/Protocol "$root"/ORBELIN "$root"/media "$root"/etc \
    "$root"/dev/disk/by-uuid "$root"/dev/disk/by-label "$root"/dev/input/by-id \
    "$root"/proc "$root"/tmp "$root"/sys/class/net
[ -f "$root/etc/mtab" ] || : > "$root/etc/mtab"

# The internal disk: its partition is listed and mounted at "/", like the instrument's.
[ -L "$root/dev/disk/by-uuid/INTERNAL-ROOT" ] || ln -s ../../sda1 "$root/dev/disk/by-uuid/INTERNAL-ROOT"
grep -q '^/dev/sda1 ' "$root/etc/mtab" || echo "/dev/sda1 / ext4 rw,relatime 0 0" >> "$root/etc/mtab"
# One USB stick plugged at start; standins/usb-stick.sh plugs and pulls more.
ORBELIN_ROOT="$root" bash "$(dirname "$0")/usb-stick.sh" plug sdb1 SAMPLES >/dev/null
# Two counting protocols for the protocol screen, on the first run only.
protocols="$root/root/ORBELIN_Vn/Protocol"
if ! ls "$protocols"/*.ini >/dev/null 2>&1; then
    write_protocol() {
        printf '[Dilution Factor]\nValue=%s\n[Min Cell Size]\nSize=%s\n[Max Cell Size]\nSize=%s\n[Roundness]\nValue=%s\n[Declustering Level]\nLevel=%s\n[Detection Sensitivity]\nValue=%s\n' \
            "$2" "$3" "$4" "$5" "$6" "$7" > "$protocols/$1.ini"
    }
    write_protocol Yeast 10 2 12 60 5 4
    write_protocol CHO-cells 2 8 30 70 7 5
fi
