#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# A small file system for the large-file tests, mounted on DIR/mnt: tmpfs,
# where holes read at the speed of memory, or a sparse image DIR/image on a
# loop device: xfs shares blocks between copies, so sparse files of gigabytes
# split and join in no time and no room; ext2 with 1 KiB blocks holds no file
# beyond about 16 GiB, as FAT holds none of 4 GiB.
# Usage: loopfs.sh mount DIR tmpfs [SIZE]|xfs|ext2-1k | unmount DIR
# mount exits 77 where the machine cannot have such a file system.
set -u
case "$1" in
mount)
    dir=$2
    [ "$(id -u)" -eq 0 ] || exit 77
    mkdir -p "$dir/mnt"
    if [ "$3" = tmpfs ]; then
        mount -t tmpfs ${4:+-o "size=$4"} tmpfs "$dir/mnt" || exit 77
        exit 0
    fi
    [ -e /dev/loop-control ] || exit 77
    case "$3" in
    xfs) make=(mkfs.xfs -q -m reflink=1) size=2G ;;
    ext2-1k) make=(mkfs.ext2 -q -F -b 1024) size=16M ;;
    esac
    command -v "${make[0]}" >/dev/null || exit 77
    truncate -s "$size" "$dir/image" && "${make[@]}" "$dir/image" >/dev/null || exit 77
    mount -o loop "$dir/image" "$dir/mnt" 2>/dev/null || exit 77
    ;;
unmount)
    mountpoint -q "$2/mnt" || exit 0
    umount "$2/mnt" 2>/dev/null || umount -l "$2/mnt"
    ;;
esac
