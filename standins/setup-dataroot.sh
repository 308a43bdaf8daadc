#!/usr/bin/env bash
# Lays out a data root for the desktop run: the instrument's folders, and the sample
# data and stand-in devices. Keeps what an earlier run left.
set -euo pipefail
root="$1"
mkdir -p "$root"/root/ORBELIN_Vn/Protocol "$root"/ORBELIN "$root"/media "$root"/etc \
    "$root"/dev/disk/by-uuid "$root"/dev/disk/by-label "$root"/dev/input/by-id \
    "$root"/proc "$root"/tmp "$root"/sys/class/net
[ -f "$root/etc/mtab" ] || : > "$root/etc/mtab"
