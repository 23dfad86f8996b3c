#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs one of the linters that a distribution applies before it takes a
# package: reuse on the source tree, lintian on the Debian package. Skipped
# (77) where the linter is not installed, as on a machine that has not run
# scripts/install-deps.sh.
# Usage: lint_test.sh LINTER [ARGUMENT...]
set -euo pipefail
command -v "$1" >/dev/null || { echo "$1 is not installed"; exit 77; }
exec "$@"
