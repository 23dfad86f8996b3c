// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Probes shared by the engine tests.
#include "EngineProbes.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>

TProgressLog::TProgressLog(TParvoxBase& Engine) {
    Engine.OnProgress = [this](const std::string& Status, long double Fraction) {
        EXPECT_EQ(Status, "");
        Fractions.push_back(Fraction);
    };
}

std::vector<long double> FractionsOf(std::initializer_list<int64_t> Done, int64_t Total) {
    std::vector<long double> Fractions;
    for (const int64_t Bytes : Done)
        Fractions.push_back(static_cast<long double>(Bytes) / static_cast<long double>(Total));
    return Fractions;
}

bool BecomeNobody() {
    constexpr uid_t Nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0;
}
