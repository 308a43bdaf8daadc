#!/usr/bin/env bash
# Plugs and pulls fake USB sticks in a data root, also while the program runs.
#   usb-stick.sh plug NAME [LABEL]   plug the partition /dev/NAME (say sdb1), labelled
#   usb-stick.sh pull NAME           pull it out (its content stays in sticks/NAME)
#   usb-stick.sh list                show the plugged partitions and the mount table
#   usb-stick.sh mode mount|umount ok|fail|hang [DEVICE...]
#                                    make the fake mount or umount fail or hang
# The data root is $ORBELIN_ROOT, or build/dataroot of this repository.
set -euo pipefail
root="${ORBELIN_ROOT:-$(cd "$(dirname "$0")/.." && pwd)/build/dataroot}"
uuid_dir="$root/dev/disk/by-uuid"
label_dir="$root/dev/disk/by-label"
mkdir -p "$uuid_dir" "$label_dir" "$root/sticks" "$root/run" "$root/etc"

usage() { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
check_name() {
    [[ "${1:-}" =~ ^[A-Za-z0-9_-]+$ ]] || { echo "usb-stick: bad device name '${1:-}'" >&2; exit 2; }
}
# Removes the links of a folder that name /dev/NAME.
unlink_device() {
    local link
    for link in "$1"/*; do
        [ -L "$link" ] || continue
        [ "$(basename "$(readlink "$link")")" = "$2" ] && rm -f "$link"
    done
    return 0
}

case "${1:-}" in
plug)
    name="${2:-}"
    check_name "$name"
    label="${3:-}"
    content="$root/sticks/$name"
    if [ ! -d "$content" ]; then
        mkdir -p "$content/Counts"
        printf 'Fake USB stick %s\n' "$name" > "$content/README.txt"
    fi
    unlink_device "$uuid_dir" "$name"
    unlink_device "$label_dir" "$name"
    uuid="$(printf '%s' "$name" | md5sum | tr a-f A-F | cut -c1-8)"
    uuid="${uuid:0:4}-${uuid:4:4}"
    # Links as udev writes them: relative, blanks of a label as \x20.
    if [ -n "$label" ]; then
        ln -s "../../$name" "$label_dir/${label// /\\x20}"
    fi
    ln -s "../../$name" "$uuid_dir/$uuid"
    echo "plugged /dev/$name${label:+ ($label)}"
    ;;
pull)
    name="${2:-}"
    check_name "$name"
    unlink_device "$uuid_dir" "$name"
    unlink_device "$label_dir" "$name"
    echo "pulled /dev/$name"
    ;;
list)
    echo "Plugged:"
    for link in "$uuid_dir"/*; do
        [ -L "$link" ] && echo "  $(basename "$link") -> $(readlink "$link")"
    done
    echo "Mount table:"
    sed 's/^/  /' "$root/etc/mtab" 2>/dev/null || true
    ;;
mode)
    program="${2:-}"
    mode="${3:-}"
    case "$program" in mount|umount) ;; *) usage ;; esac
    case "$mode" in
        ok) rm -f "$root/run/$program.mode" ;;
        fail|hang) shift 3; echo "$mode $*" > "$root/run/$program.mode" ;;
        *) usage ;;
    esac
    echo "$program: $mode"
    ;;
*)
    usage
    ;;
esac
