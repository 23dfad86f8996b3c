// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The application object: the single owner of the four engines, which live
// for the whole run so that what the user set on them outlasts the windows.
#pragma once

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classSplit.h"

#include <array>
#include <memory>

class TParvox {
public:
    TParvox();
    ~TParvox();
    TParvox(const TParvox&) = delete;
    TParvox& operator=(const TParvox&) = delete;

    // Points the progress report of all four engines at one handler.
    void SetProgressHandler(const TProgressEvent& Handler);
    // Points the progress counts of all four engines at Counts, or at none.
    void SetProgressCounts(TProgressCounts* Counts);
    // Asks whichever engine runs to stop, or withdraws that request.
    void RequestStop();
    void WithdrawStop();

    std::unique_ptr<TJoin> Join;
    std::unique_ptr<TSplit> Split;
    std::unique_ptr<TChecksum> Checksum;
    std::unique_ptr<TCompare> Compare;

private:
    [[nodiscard]] std::array<TParvoxBase*, 4> Engines() const;
};

// The one application object, from start-up to shutdown.
extern TParvox* ParvoxApp;
