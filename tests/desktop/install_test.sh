#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs the build tree into a fresh prefix and checks that it holds exactly
# the expected files, the program executable and the icon as large as its
# folder says.
# Usage: install_test.sh BUILD_DIR PREFIX EXPECTED_FILES_LIST
set -euo pipefail
build=$1 prefix=$2 expected=$3

fail() {
    echo "$*" >&2
    exit 1
}

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

actual=$(cd "$prefix" && find . ! -type d -printf '%P\n' | sort)
diff -u <(sort "$expected") <(echo "$actual") || fail "the installation holds other files than expected"

[ -x "$prefix/bin/parvox" ] || fail "bin/parvox is not executable"

# A PNG starts with its 8-byte signature and the IHDR chunk: length, type,
# then width and height as 32-bit big-endian numbers.
png=$(find "$prefix/share/icons/hicolor/48x48/apps" -name '*.png')
header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
[ "${header:0:16}" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
[ "${header:32:16}" = 0000003000000030 ] || fail "$png is not 48 x 48"
