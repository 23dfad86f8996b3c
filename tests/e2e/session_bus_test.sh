#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# The real program on the test's X display without a session bus, as in a
# bare X session or over ssh, where D-Bus would start a bus of its own
# (dbus-launch) that outlives the program: once the program has ended, no
# process that it started is left. Usage: session_bus_test.sh PARVOX
set -u
parvox=$1
if ! command -v dbus-launch >/dev/null; then
    echo 'FAILED: without dbus-launch (package dbus-x11) nothing could be left behind'
    exit 1
fi
marker=PARVOX_BUS_TEST_$$ runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
# The runtime folder holds no bus either, and the settings stay apart.
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime" \
    "$marker=1" "$parvox" 2>/dev/null &
program=$!
# Once the main window is up, Qt has looked for the bus.
for _ in $(seq 100); do
    xdotool search --onlyvisible --class '^parvox$' >/dev/null 2>&1 && break
    sleep 0.1
done
kill -TERM $program
wait $program
status=$?
sleep 0.5
left=()
for process in /proc/[0-9]*; do
    if grep -qz "^$marker=" "$process/environ" 2>/dev/null; then
        left+=("$(tr '\0' ' ' <"$process/cmdline")")
        kill "${process#/proc/}" 2>/dev/null
    fi
done
if [ $status -ne 143 ] || [ ${#left[@]} -ne 0 ]; then
    printf 'FAILED: status %s (143 expected), left behind:\n' $status
    printf '%s\n' "${left[@]}"
    exit 1
fi
