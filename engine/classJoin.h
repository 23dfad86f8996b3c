// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: rebuilds the whole file from its pieces name.001,
// name.002, ... up to the first missing number, copied back to back, each
// piece checked against the checksum file beside them when there is one.
// The pieces may lie in several folders (classPieceSources).
#pragma once

#include "classParvoxBase.h"
#include "classPieceSources.h"

#include <string>
#include <vector>

class TJoin : public TParvoxBase {
public:
    // Where the pieces are looked for after the first piece's folder.
    std::vector<std::string> PieceFolders;
    // Asked, on the run's thread, for the folder of a piece of the set that
    // is in no folder known, when its medium is not in; where unset, such a
    // piece refuses the join before anything is written.
    TPieceSources::TAsk AskForPiece;

    // The sum of the sizes of the pieces found. Every piece is opened and
    // measured, and the set that the run will join is taken down.
    [[nodiscard]] int64_t TotalSize();
    void Execute();
    // What the last run checked against the checksum file beside the
    // pieces, a line such as "All 7 pieces match film.mkv.sha256."; empty
    // when there was none.
    [[nodiscard]] std::string CheckSummary() const { return Checked; }
    // The pieces that the last run joined, if it succeeded.
    [[nodiscard]] int64_t JoinedPieces() const { return Joined; }

private:
    // The set that TotalSize found, and where its pieces lie.
    TPieceSources Sources;
    std::string Checked;
    int64_t Joined = 0;
};
