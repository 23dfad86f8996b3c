// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The field of the recovery data: products reduced by its polynomial, and
// division and powers that undo and repeat them.
#include "classGf16.h"

#include <gtest/gtest.h>

#include <random>

TEST(Gf16Test, ProductsAreReducedByTheFieldPolynomialAndDivisionUndoesThem) {
    // x^15 * x = x^16, which the polynomial turns into x^12 + x^3 + x + 1.
    EXPECT_EQ(TGf16::Multiply(0x8000, 2), 0x100B);
    EXPECT_EQ(TGf16::Power(2, 65535), 1);
    EXPECT_EQ(TGf16::Power(0, 0), 1);
    std::mt19937 Random(7);
    for (int Round = 0; Round < 1000; ++Round) {
        const auto A = static_cast<uint16_t>(Random());
        const auto B = static_cast<uint16_t>(Random() | 1);
        EXPECT_EQ(TGf16::Divide(TGf16::Multiply(A, B), B), A);
        EXPECT_EQ(TGf16::Multiply(TGf16::Power(B, 3), B), TGf16::Power(B, 4));
    }
}
