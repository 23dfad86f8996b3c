// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: rebuilds the whole file from its pieces name.001,
// name.002, ... up to the first missing number, copied back to back, each
// piece checked against the checksum file beside them when there is one.
#pragma once

#include "classParvoxBase.h"

#include <sys/stat.h>

class TJoin : public TParvoxBase {
public:
    // The sum of the sizes of all pieces. Every piece is opened and
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
    // Adds the identity of a piece's file to Print: which file it is, its
    // size and the times of its last changes, so that one print stands for
    // a whole set, however many pieces it has.
    static void AddToPrint(uint64_t& Print, const struct stat& Piece);

    // The set that TotalSize found: its pieces, the print of their files in
    // order, and the bytes that they take on their medium.
    int64_t Pieces = 0;
    uint64_t Print = 0;
    int64_t Allocated = 0;
    std::string Checked;
    int64_t Joined = 0;
};
