#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds with warnings as errors and runs every test,
# then the engine tests of a 32-bit build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci -j "$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset ci
# The engines, their benchmark and their tests again as a 32-bit program,
# where files past 2 and 4 GiB need 64-bit file offsets; no windows, as the
# distribution's Qt is 64-bit only.
cmake --preset m32
cmake --build --preset m32 -j "$(nproc)"
ctest --preset m32
