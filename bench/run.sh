#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the engine benchmark and runs it on a 1 GiB file in a temporary
# folder (about 6 GB of free space needed there), which it removes afterwards.
# Usage: bash bench/run.sh [SIZE_IN_BYTES [RUNS]]   (size below 2 GiB)
set -euo pipefail
cd "$(dirname "$0")/.."

size=${1:-1073741824}
runs=${2:-7}

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target parvox_bench >/dev/null

folder=$(mktemp -d "${TMPDIR:-/tmp}/parvox-bench-XXXXXX")
trap 'rm -rf "$folder"' EXIT

echo "$(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)," \
    "temporary folder on $(df --output=fstype "$folder" | tail -1)"
build/bench/parvox_bench suite "$folder" "$size" "$runs"
