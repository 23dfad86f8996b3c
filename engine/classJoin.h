// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: rebuilds the whole file from its pieces name.001,
// name.002, ... up to the first missing number, copied back to back, each
// piece checked against the checksum file beside them when there is one.
// The pieces may lie in several folders (classPieceSources). With recovery
// files beside them, the pieces are those that the recovery data describes,
// and what is damaged, short or missing is rebuilt (classJoinRecovery).
#pragma once

#include "classJoinRecovery.h"
#include "classParvoxBase.h"
#include "classPieceSources.h"
#include "classPieceSums.h"

#include <atomic>
#include <memory>
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
    // What the last run rebuilt and checked, a line such as "film.mkv.003
    // was damaged: 3 blocks were rebuilt from the recovery data. The joined
    // file matches film.mkv.sha256."; empty when there was nothing to check.
    [[nodiscard]] std::string CheckSummary() const { return Checked; }
    // The pieces that the last run joined, if it succeeded.
    [[nodiscard]] int64_t JoinedPieces() const { return Joined; }
    // Whether piece Piece, missing, could be rebuilt from the recovery data
    // that TotalSize found, with what is known to be lost besides.
    [[nodiscard]] bool CanRebuild(int64_t Piece) const {
        return Recovery && Recovery->CanRebuild(Piece);
    }

private:
    // Piece Piece has been taken down: the recovery data hears where it is.
    void Found(int64_t Piece);
    // The bytes of the joined file, as far as they are known.
    [[nodiscard]] int64_t JoinedBytes() const;
    // Once the copy has ended: rebuilds what the recovery data finds lost
    // into the output, then checks the joined file again, read from
    // Temporary, against the checksum file or the recovery data's digests.
    void Repair(TPieceSums& Sums, const std::string& Temporary);

    // The set that TotalSize found, and where its pieces lie; the recovery
    // data beside them, if any.
    TPieceSources Sources;
    std::unique_ptr<TJoinRecovery> Recovery;
    // Set once the run ends early, so that the recovery data's work ends too.
    std::atomic<bool> Quitting = false;
    std::string Checked;
    int64_t Joined = 0;
};
