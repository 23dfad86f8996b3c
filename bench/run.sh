#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the engine benchmark and runs it twice, in a folder in memory
# (tmpfs, /dev/shm) and in a folder on the disk (under build/), each time on a
# file of 512 MiB that it removes afterwards (about 3 GB of free space needed
# in each place); then on 32 MiB in a FUSE file system whose every file sync
# takes 20 ms, as on a network share (the test medium, run as root). The runs
# with the progress window use their own X server. In memory too, on 256 MiB,
# the recovery data: the split that writes 10 per cent against split and
# par2 create, and the join that rebuilds a damaged piece against par2
# repair and cat.
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
share=$(mktemp -d "$PWD/build/parvox-share-XXXXXX")
folders=("$XDG_RUNTIME_DIR" "$share")
trap 'tests/engine/medium.py detach "$share"; rm -rf "${folders[@]}"' EXIT
echo "$(nproc) cores,$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
suite() {
    echo
    echo "== in $1, on $(df --output=fstype "$1" | tail -1)$3"
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        env QT_QPA_PLATFORM=xcb build/bench/parvox_bench suite "$1" "$2" "$runs"
}
for place in /dev/shm "$PWD/build"; do
    folder=$(mktemp -d "$place/parvox-bench-XXXXXX")
    folders+=("$folder")
    suite "$folder" "$size" ""
    rm -rf "$folder"
done
echo
echo "== recovery data, in /dev/shm"
folder=$(mktemp -d /dev/shm/parvox-bench-XXXXXX)
folders+=("$folder")
build/bench/parvox_bench recovery-suite "$folder" 268435456 "$runs"
rm -rf "$folder"
echo
echo "== peak memory, in $XDG_RUNTIME_DIR"
build/bench/parvox_bench memory "$XDG_RUNTIME_DIR"
if [ -x build-m32/bench/parvox_bench ]; then
    echo "(the 32-bit build, build-m32)"
    build-m32/bench/parvox_bench memory "$XDG_RUNTIME_DIR"
fi
if tests/engine/medium.py share "$share" 0 0.02; then
    suite "$share/fuse" 33554432 " whose file syncs take 20 ms"
else
    echo "(no FUSE file system here: the share is left out)"
fi
