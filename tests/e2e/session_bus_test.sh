#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# The real program on the test's X display without a session bus (a bare X
# session, ssh), where D-Bus would start one of its own (dbus-launch, which
# must be there) that outlives it: once it has ended, nothing it started is
# left. Usage: session_bus_test.sh PARVOX
set -u
command -v dbus-launch >/dev/null || exit 1
marker=PARVOX_BUS_TEST_$$ runtime=$(mktemp -d)
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime" "$marker=1" "$1" &
# Once the main window is up, Qt has looked for the bus.
for _ in $(seq 100); do xdotool search --onlyvisible --class '^parvox$' >/dev/null && break; sleep 0.1; done
kill -TERM $! && wait $!
status=$? left=0
sleep 0.5
for process in /proc/[0-9]*; do
    grep -qz "^$marker=" "$process/environ" 2>/dev/null || continue
    echo "FAILED: left behind: $(tr '\0' ' ' <"$process/cmdline")"
    kill "${process#/proc/}" && left=1
done
rm -rf "$runtime"
[ $status -eq 143 ] && [ $left -eq 0 ]
