// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// One run of an engine, as the benchmark's programs start it: Args are the
// engine's name and its files (and, for the split, the piece size in blocks,
// after --check when it writes the checksum file), then for split and join
// the output folder, if any, and for the join "--from FOLDER" for each
// further folder of pieces. A join checks the pieces whenever a checksum
// file lies beside them. The recovery data has two runs of its own:
// "recovery FILE BLOCKS PERCENT" writes the recovery files of the pieces
// that a split of FILE into pieces of BLOCKS blocks makes (PERCENT a number,
// or "piece" for one lost piece), from FILE's bytes; "repair FILE" checks
// those pieces and rebuilds what is lost, without writing it.
#pragma once

#include "classParvoxBase.h"

#include <string>
#include <vector>

// The engine reports to Handler, and keeps its counts in Counts when given.
// Returns the exit status: 0, or 1 for a compare that found the files unequal.
int EngineRun(const std::vector<std::string>& Args, const TProgressEvent& Handler,
              TProgressCounts* Counts = nullptr);
