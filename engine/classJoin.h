// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join engine: rebuilds the whole file from its pieces name.001,
// name.002, ... up to the first missing number, copied back to back, each
// piece checked against the checksum file beside them when there is one.
#pragma once

#include "classParvoxBase.h"

#include <vector>

class TJoin : public TParvoxBase {
public:
    // The sum of the sizes of all pieces.
    [[nodiscard]] int64_t TotalSize();
    void Execute();
    // What the last run checked against the checksum file beside the
    // pieces, a line such as "All 7 pieces match film.mkv.sha256."; empty
    // when there was none.
    [[nodiscard]] std::string CheckSummary() const { return Checked; }

private:
    // The files of the pieces that TotalSize found.
    std::vector<TFileId> PieceFiles;
    std::string Checked;
};
