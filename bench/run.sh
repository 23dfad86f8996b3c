#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the engine benchmark and runs it twice, in a folder in memory
# (tmpfs, /dev/shm) and in a folder on the disk (under build/), each time on a
# file of 512 MiB that it removes afterwards (about 3 GB of free space needed
# in each place). The runs with the progress window use their own X server.
# Usage: bash bench/run.sh [SIZE_IN_BYTES [RUNS]]
set -euo pipefail
cd "$(dirname "$0")/.."

size=${1:-536870912}
runs=${2:-7}

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target parvox_bench parvox_bench_window >/dev/null

# Qt wants a private runtime folder of its own.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
folders=("$XDG_RUNTIME_DIR")
trap 'rm -rf "${folders[@]}"' EXIT
echo "$(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
for place in /dev/shm "$PWD/build"; do
    folder=$(mktemp -d "$place/parvox-bench-XXXXXX")
    folders+=("$folder")
    echo
    echo "== in $folder, on $(df --output=fstype "$folder" | tail -1)"
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        env QT_QPA_PLATFORM=xcb build/bench/parvox_bench suite "$folder" "$size" "$runs"
    rm -rf "$folder"
done
