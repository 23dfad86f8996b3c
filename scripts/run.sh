#!/usr/bin/env bash
# Installs what is missing, builds and starts Parvox.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
echo "Parvox is built; its windows come with the application shell."
