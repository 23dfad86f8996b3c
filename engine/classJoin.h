// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: rebuilds the whole file from its pieces name.001,
// name.002, ... up to the first missing number, copied back to back, each
// piece checked against the checksum file beside them when there is one.
// With recovery files beside them, the pieces are those that the recovery
// data describes, and what is damaged, short or missing is rebuilt.
#pragma once

#include "classJoinRecovery.h"
#include "classParvoxBase.h"
#include "classPieceSums.h"

#include <memory>
#include <sys/stat.h>

class TJoin : public TParvoxBase {
public:
    // The sum of the sizes of all pieces. Every piece is opened and
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
    // Once the copy has ended: rebuilds what the recovery data finds lost
    // into the output, then checks the joined file again, read from
    // Temporary, against the checksum file or the recovery data's digests.
    void Repair(TPieceSums& Sums, const std::string& Temporary, int64_t Total);

    // Adds the identity of a piece's file to Print: which file it is, its
    // size and the times of its last changes, so that one print stands for
    // a whole set, however many pieces it has.
    static void AddToPrint(uint64_t& Print, const struct stat& Piece);

    // The set that TotalSize found: its pieces, the print of their files in
    // order, and the bytes that they take on their medium.
    int64_t Pieces = 0;
    uint64_t Print = 0;
    int64_t Allocated = 0;
    // The bytes that the copy takes from the pieces, and the recovery data
    // beside them, if any.
    int64_t ToCopy = 0;
    std::unique_ptr<TJoinRecovery> Recovery;
    // Set once the run ends early, so that the recovery data's work ends too.
    std::atomic<bool> Quitting = false;
    std::string Checked;
    int64_t Joined = 0;
};
