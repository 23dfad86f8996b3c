#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs the Debian 12 packages that building, running and testing Parvox
# need, and only those that are missing. Runs as root, or through sudo.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    libgtest-dev googletest
    libssl-dev zlib1g-dev
    g++-multilib libc6-dev-i386 libssl-dev:i386 zlib1g-dev:i386
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
    xvfb xauth fonts-dejavu-core fonts-liberation2
    librsvg2-bin desktop-file-utils appstream dpkg-dev file x11-utils shared-mime-info libglib2.0-bin
    man-db git reuse lintian
    openbox xdotool wmctrl x11-xkb-utils libxfixes3 dbus dbus-x11 at-spi2-core python3-pyatspi python3-gi gir1.2-gtk-3.0
    python3-fusepy fuse e2fsprogs mount xfsprogs
    par2
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
# The 32-bit build links the i386 builds of OpenSSL and zlib.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
