#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci -j "$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset ci
