#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# The real program's answers in a terminal, with the test's X display and
# without any: the exit status, the number of lines and what they say on
# standard output (out) or standard error (err).
# Usage: options_test.sh PARVOX VERSION
set -u
parvox=$1 version=$2 failed=0
export LC_ALL=C
usage='^Usage: parvox \[options\] \[file \[file\]\]$'
none=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

check() { # STATUS STREAM LINES PATTERN COMMAND...
    local status=$1 stream=$2 lines=$3 pattern=$4 output code
    shift 4
    if [ "$stream" = out ]; then output=$("$@" 2>/dev/null); else output=$("$@" 2>&1 >/dev/null); fi
    code=$?
    if [ $code -ne "$status" ] || { [ "$lines" != any ] && [ "$(wc -l <<<"$output")" -ne "$lines" ]; } ||
        ! grep -qE "$pattern" <<<"$output"; then
        printf 'FAILED: %s -> status %s:\n%s\n' "$*" $code "$output"
        failed=1
    fi
}

check 0 out 1 "^parvox $version\$" "$parvox" --version
check 0 out any "$usage" "$parvox" --help
check 0 out 1 "^parvox $version\$" "${none[@]}" "$parvox" --version
check 0 out any "$usage" "${none[@]}" "$parvox" -h
check 1 err 1 '^parvox: no display to open windows on \(DISPLAY is not set\)$' "${none[@]}" "$parvox" film.001
check 1 err 1 '^parvox: no display to open windows on \(WAYLAND_DISPLAY is not set\)$' \
    "${none[@]}" QT_QPA_PLATFORM=wayland "$parvox"
check 1 err 1 '^parvox: cannot open windows on the display :4711 ' "${none[@]}" DISPLAY=:4711 "$parvox"
check 1 err 1 '^parvox: the windows cannot open: ' "${none[@]}" QT_QPA_PLATFORM=nosuch "$parvox"
check 1 err 2 '^A file whose name begins with a dash opens with: parvox -- -odd$' "$parvox" -odd
check 1 err 2 $'parvox -- -caf\xe9$' "$parvox" $'-caf\xe9'
exit $failed
