#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Checks the Debian package's fields and files, installs it with dpkg, starts
# the installed program on the X display until its main window shows, and
# removes the package again, also when a step fails. Skipped (77) unless it
# runs as root on an X display with no parvox package installed already.
# Usage: deb_test.sh DEB EXPECTED_FILES_LIST VERSION
set -euo pipefail
deb=$1 expected=$2 version=$3
skip=77

fail() {
    echo "$*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || { echo "installing a package needs root"; exit $skip; }
[ -n "${DISPLAY:-}" ] || { echo "no X display to start the program on"; exit $skip; }
if dpkg-query -W -f='${Status}' parvox 2>/dev/null | grep -q "install ok installed"; then
    echo "a parvox package is installed already and is left alone"
    exit $skip
fi

installed=0
pid=
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    [ $installed -eq 0 ] || dpkg_run -r parvox >/dev/null || echo "parvox could not be removed" >&2
}
trap cleanup EXIT

# dpkg refuses while another package tool holds its lock: wait for it a while.
dpkg_run() {
    local output
    for _ in $(seq 60); do
        if output=$(dpkg "$@" 2>&1); then
            return 0
        fi
        grep -qi "lock" <<<"$output" || break
        sleep 2
    done
    echo "$output" >&2
    return 1
}

[ -f "$deb" ] || fail "there is no package $deb"

[ "$(dpkg-deb -f "$deb" Package)" = parvox ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "wrong version"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the Qt libraries are not among the dependencies"
diff -u <(sed 's|^|./usr/|' "$expected" | sort) <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort) ||
    fail "the package holds other files than expected"

installed=1
dpkg_run -i "$deb" || fail "dpkg -i failed"
[ -x /usr/bin/parvox ] || fail "/usr/bin/parvox is missing after installation"

QT_QPA_PLATFORM=xcb /usr/bin/parvox &
pid=$!
title="Parvox $version for Linux"
seen=
for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || fail "the installed program ended before its main window showed"
    for window in $(xwininfo -root -tree | grep -F "\"$title\"" | awk '{ print $1 }'); do
        if xprop -id "$window" _NET_WM_PID | grep -qw "$pid" &&
            xwininfo -id "$window" | grep -q "Map State: IsViewable"; then
            seen=$window
        fi
    done
    [ -z "$seen" ] || break
    sleep 0.2
done
[ -n "$seen" ] || fail "no window \"$title\" of the installed program showed"

kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
dpkg_run -r parvox || fail "dpkg -r failed"
installed=0
[ ! -e /usr/bin/parvox ] || fail "/usr/bin/parvox is left after removal"
