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
# A demo package on that stick, for the settings screen's service day 92.
demo_package="$root/sticks/sdb1/ORBELIN_Vn-Demo.ovn"
[ -f "$demo_package" ] || tar -czf "$demo_package" -C "$(dirname "$0")/demo" ORBELIN_Vn-demo
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

# The program as the instrument runs it: this build's update package installed, and
# "/root/loader" pointing at its loader, which the launcher starts. A package of the next
# version (the same program renamed) waits on the stick, to try the software update.
build="${2:-}"
name="$( [ -n "$build" ] && cat "$build/program-name.txt" 2>/dev/null || true)"
package="$build/packages/$name.ovn"
if [ -n "$name" ] && [ ! -f "$package" ]; then
    echo "setup-dataroot: no update package $package; the program is not installed" >&2
elif [ -n "$name" ]; then
    loader="loader_${name#ORBELIN_Vn_}"
    tar -xzf "$package" -C "$root/root/ORBELIN_Vn" "$name"
    tar -xzf "$package" -C "$root/root" "$loader"
    ln -sfn "$(cd "$root" && pwd)/root/$loader" "$root/root/loader"
    next="$(cat "$build/packages/next-package-name.txt" 2>/dev/null || true)"
    if [ -n "$next" ] && [ -f "$build/packages/$next" ]; then
        mkdir -p "$root/sticks/sdb1"
        cp "$build/packages/$next" "$root/sticks/sdb1/$next"
    fi
fi
# What the update dialog reads to wait for the disks.
[ -f "$root/proc/meminfo" ] || printf 'MemTotal:        8000000 kB\nDirty:                 0 kB\n' > "$root/proc/meminfo"

# The Wi-Fi world: device wlan0 and five networks in range; standins/wifi.sh changes it.
ORBELIN_ROOT="$root" bash "$(dirname "$0")/wifi.sh" init

# Saved counts to review (internal disk and the stick) and a results log; kept when present.
if [ -n "$build" ] && [ -x "$build/standins/make-sample-data" ]; then
    ORBELIN_ROOT="$root" "$build/standins/make-sample-data" /sticks/sdb1 >/dev/null
fi
