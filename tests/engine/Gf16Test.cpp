// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The field of the recovery data: products reduced by its polynomial, and
// division and powers that undo and repeat them; every region kernel that
// this processor has against the plain product, word by word.
#include "classGf16.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

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

namespace {

// Regions at a chosen distance from a 64-byte boundary, filled at random.
struct TRegion {
    std::vector<uint8_t> Storage;
    uint8_t* Bytes;

    TRegion(size_t Length, size_t Offset, std::mt19937& Random)
        : Storage(Length + 128),
          Bytes(Storage.data() + (64 - reinterpret_cast<uintptr_t>(Storage.data()) % 64) + Offset) {
        for (size_t At = 0; At < Length; ++At)
            Bytes[At] = static_cast<uint8_t>(Random());
    }
};

class Gf16KernelTest : public testing::TestWithParam<TGf16::TKernel> {
protected:
    void SetUp() override {
        if (!TGf16::Supports(GetParam()))
            GTEST_SKIP() << "this processor lacks " << TGf16::KernelName(GetParam());
        Before = TGf16::Kernel();
        TGf16::UseKernel(GetParam());
    }
    void TearDown() override { TGf16::UseKernel(Before); }

    // Outs[k] += Factors[k] * In through the kernel's layout (one output
    // through MultiplyAdd, several through MultiplyAddMany), against the
    // plain product in the layout of the files.
    static void ExpectPlainProducts(size_t Count, size_t Length, size_t InOffset, size_t OutOffset,
                                    std::mt19937& Random) {
        SCOPED_TRACE(testing::Message() << Count << " outputs of " << Length << " bytes, offsets "
                                        << InOffset << " and " << OutOffset);
        TRegion In(Length, InOffset, Random);
        std::vector<TRegion> Outs;
        std::vector<uint8_t*> OutBytes;
        std::vector<std::vector<uint8_t>> Expected;
        std::vector<uint16_t> Factors;
        for (size_t Output = 0; Output < Count; ++Output) {
            Outs.emplace_back(Length, (OutOffset + 7 * Output) % 64, Random);
            OutBytes.push_back(Outs.back().Bytes);
            // The factors that a careless kernel gets wrong come first.
            const uint16_t Edges[] = {0, 1, 0xFFFF};
            Factors.push_back(Output < 3 ? Edges[Output] : static_cast<uint16_t>(Random()));
            Expected.emplace_back(OutBytes.back(), OutBytes.back() + Length);
            TGf16::MultiplyAddPlain(Factors.back(), In.Bytes, Expected.back().data(), Length);
        }
        const std::vector<uint8_t> InBefore(In.Bytes, In.Bytes + Length);
        TGf16::ToKernelLayout(In.Bytes, Length);
        for (uint8_t* Out : OutBytes)
            TGf16::ToKernelLayout(Out, Length);
        if (Count == 1)
            TGf16::MultiplyAdd(Factors[0], In.Bytes, OutBytes[0], Length);
        else
            TGf16::MultiplyAddMany(In.Bytes, Factors.data(), OutBytes.data(), Count, Length);
        TGf16::FromKernelLayout(In.Bytes, Length);
        EXPECT_EQ(std::vector<uint8_t>(In.Bytes, In.Bytes + Length), InBefore);
        for (size_t Output = 0; Output < Count; ++Output) {
            TGf16::FromKernelLayout(OutBytes[Output], Length);
            EXPECT_EQ(std::vector<uint8_t>(OutBytes[Output], OutBytes[Output] + Length),
                      Expected[Output])
                << "output " << Output << ", factor " << Factors[Output];
        }
    }

    TGf16::TKernel Before = TGf16::Kernel();
};

} // namespace

TEST_P(Gf16KernelTest, RegionsOfEveryAlignmentMatchThePlainProduct) {
    std::mt19937 Random(11);
    // Single runs, stretches across the kernels' tiles, and ends shorter
    // than a run, which stay in the files' layout.
    const size_t Lengths[] = {64, 192, 66, 16384 * 2 + 320 + 62};
    const size_t Counts[] = {1, 2, 3, 7, 50};
    for (size_t Offset = 0; Offset < 64; ++Offset)
        for (const size_t Length : Lengths)
            for (const size_t Count : Counts)
                if (Length < 4096 || Count <= 3 || Offset % 16 == 5)
                    ExpectPlainProducts(Count, Length, Offset, (Offset * 37 + 3) % 64, Random);
    for (const size_t Offset : {0, 1, 33, 63})
        for (const size_t Count : {1, 3})
            ExpectPlainProducts(Count, (3 << 20) + 192, Offset, 63 - Offset, Random);
}

TEST_P(Gf16KernelTest, AllKernelsShareOneLayout) {
    std::mt19937 Random(13);
    TRegion Plain(4096 + 64 + 2, 0, Random);
    const std::vector<uint8_t> Files(Plain.Bytes, Plain.Bytes + 4096 + 66);
    std::vector<uint8_t> Kernel = Files;
    TGf16::ToKernelLayout(Kernel.data(), Kernel.size());
    TGf16::UseKernel(TGf16::TKernel::Plain);
    TGf16::ToKernelLayout(Plain.Bytes, Files.size());
    EXPECT_EQ(std::vector<uint8_t>(Plain.Bytes, Plain.Bytes + Files.size()), Kernel);
    // The last word, short of a run, keeps the files' layout.
    EXPECT_EQ(Kernel[4096 + 64], Files[4096 + 64]);
}

INSTANTIATE_TEST_SUITE_P(Kernels, Gf16KernelTest,
                         testing::Values(TGf16::TKernel::Plain, TGf16::TKernel::Ssse3,
                                         TGf16::TKernel::Avx2, TGf16::TKernel::Avx2Gfni,
                                         TGf16::TKernel::Avx512Gfni),
                         [](const testing::TestParamInfo<TGf16::TKernel>& Info) {
                             const std::string Name = TGf16::KernelName(Info.param);
                             std::string Plain;
                             for (const char Letter : Name)
                                 if (std::isalnum(static_cast<unsigned char>(Letter)) != 0)
                                     Plain += Letter;
                             return Plain;
                         });
