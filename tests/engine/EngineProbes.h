// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Probes shared by the engine tests: a log of the progress reports and an
// unprivileged user for a forked child.
#pragma once

#include "TestFiles.h"
#include "classParvoxBase.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Every fraction an engine reports, in order; a non-empty status text is a failure.
class TProgressLog {
public:
    explicit TProgressLog(TParvoxBase& Engine);
    // The engine's handler points at this log, so it stays where it is.
    TProgressLog(const TProgressLog&) = delete;
    TProgressLog& operator=(const TProgressLog&) = delete;

    std::vector<long double> Fractions;
};

// Done[i] / Total, computed as the engines compute their fractions.
[[nodiscard]] std::vector<long double> FractionsOf(std::initializer_list<int64_t> Done,
                                                   int64_t Total);

// Makes the calling (forked) process the user nobody; false when that fails.
[[nodiscard]] bool BecomeNobody();
