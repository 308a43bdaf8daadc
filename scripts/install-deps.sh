#!/usr/bin/env bash
# Installs the Debian packages the instrument software needs to build, run and test.
# Safe to run again: does nothing when everything is present.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git ccache
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5-dev
    libtiff-dev libopencv-core-dev libopencv-imgproc-dev
    libbenchmark-dev
    xvfb xauth xdotool x11-utils imagemagick tesseract-ocr tesseract-ocr-eng
    fonts-dejavu-core
    tar gzip procps psmisc python3 socat
    rsync
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
