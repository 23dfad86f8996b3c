#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# What a file manager makes of pieces once the installation's types and
# desktop entry are in a scratch data folder, indexed there as the Debian
# package's triggers index them: the type that gio reads from the database for
# each name, and the program that a double-click on a first piece starts.
# Usage: mime_test.sh PREFIX TYPE DESKTOP_ID
set -euo pipefail
prefix=$1 type=$2 id=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME=$scratch XDG_DATA_DIRS=/usr/share XDG_CONFIG_HOME=$scratch \
    XDG_CONFIG_DIRS=$scratch GIO_USE_VFS=local PATH=$prefix/bin:$PATH
mkdir -p "$scratch/mime"
cp -r "$prefix/share/mime/packages" "$prefix/share/applications" "$scratch/"
mv "$scratch/packages" "$scratch/mime/"
update-mime-database "$scratch/mime"
update-desktop-database "$scratch/applications"

failed=0
while read -r name expected; do
    printf '\0\1\2\3' >"$scratch/$name"
    found=$(gio info -a standard::content-type "$scratch/$name" | sed -n 's/^ *standard::content-type: //p')
    [ "$found" = "$expected" ] || { echo "$name: $found, expected $expected"; failed=1; }
done <<TABLE
film.001 $type
film.7z.001 application/x-7z-compressed
film.002 application/octet-stream
TABLE
gio mime "$type" | grep -q "^Default application for .*: $id.desktop$" ||
    { gio mime "$type"; failed=1; }
exit $failed
