#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds and starts Parvox on the X display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
if [ -z "${DISPLAY:-}" ]; then
    echo "Parvox is built, but there is no X display to start it on (DISPLAY is not set)." >&2
    exit 1
fi
exec ./build/app/parvox
