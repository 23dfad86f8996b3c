#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# The installation's types and desktop entry indexed in a scratch data folder
# as the Debian package's triggers index them: the type that gio gives each
# name, and the program that a double-click on a first piece starts.
# Usage: mime_test.sh PREFIX TYPE DESKTOP_ID
set -euo pipefail
type=$2 id=$3
export XDG_DATA_HOME=$(mktemp -d) XDG_DATA_DIRS=/usr/share GIO_USE_VFS=local PATH=$1/bin:$PATH
export XDG_CONFIG_HOME=$XDG_DATA_HOME XDG_CONFIG_DIRS=$XDG_DATA_HOME
trap 'rm -rf "$XDG_DATA_HOME"' EXIT
cp -r "$1/share/mime" "$1/share/applications" "$XDG_DATA_HOME/"
update-mime-database "$XDG_DATA_HOME/mime" && update-desktop-database "$XDG_DATA_HOME/applications"
for row in "film.001 $type" "film.7z.001 application/x-7z-compressed" "film.002 application/octet-stream"; do
    set -- $row
    printf '\0\1' >"$XDG_DATA_HOME/$1"
    grep -qx "  standard::content-type: $2" <<<"$(gio info -a standard::content-type "$XDG_DATA_HOME/$1")" ||
        { echo "$1 is not of the type $2"; exit 1; }
done
offered=$(gio mime "$type")
grep -q "^Default application for .*: $id.desktop$" <<<"$offered" || { echo "$offered"; exit 1; }
