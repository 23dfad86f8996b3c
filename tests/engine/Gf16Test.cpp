// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The field of the recovery data: products reduced by its polynomial, and
// division and powers that undo and repeat them; every region kernel that
// this processor has against the plain product, word by word.
#include "classGf16.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <thread>
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

    // Outs[k] += Factors[k][i] * Ins[i] through the kernel's layout (one
    // input into one output through MultiplyAdd, into several through
    // MultiplyAddMany, several inputs through MultiplyAddBatch), against the
    // plain product in the layout of the files.
    static void ExpectPlainProducts(size_t InCount, size_t OutCount, size_t Length, size_t InOffset,
                                    size_t OutOffset, std::mt19937& Random) {
        SCOPED_TRACE(testing::Message()
                     << InCount << " inputs into " << OutCount << " outputs of " << Length
                     << " bytes, offsets " << InOffset << " and " << OutOffset);
        std::vector<TRegion> Ins, Outs;
        std::vector<uint8_t*> InBytes, OutBytes;
        for (size_t Input = 0; Input < InCount; ++Input) {
            Ins.emplace_back(Length, (InOffset + 5 * Input) % 64, Random);
            InBytes.push_back(Ins.back().Bytes);
        }
        std::vector<std::vector<uint8_t>> InsBefore, Expected;
        for (const uint8_t* In : InBytes)
            InsBefore.emplace_back(In, In + Length);
        // The factors that a careless kernel gets wrong come first.
        std::vector<uint16_t> Factors = {0, 1, 0xFFFF};
        Factors.resize(InCount * OutCount);
        for (size_t Factor = 3; Factor < Factors.size(); ++Factor)
            Factors[Factor] = static_cast<uint16_t>(Random());
        for (size_t Output = 0; Output < OutCount; ++Output) {
            Outs.emplace_back(Length, (OutOffset + 7 * Output) % 64, Random);
            OutBytes.push_back(Outs.back().Bytes);
            Expected.emplace_back(OutBytes.back(), OutBytes.back() + Length);
            for (size_t Input = 0; Input < InCount; ++Input)
                TGf16::MultiplyAddPlain(Factors[Output * InCount + Input], InBytes[Input],
                                        Expected.back().data(), Length);
        }
        for (uint8_t* Region : InBytes)
            TGf16::ToKernelLayout(Region, Length);
        for (uint8_t* Region : OutBytes)
            TGf16::ToKernelLayout(Region, Length);
        if (InCount > 1)
            TGf16::MultiplyAddBatch(InBytes.data(), InCount, Factors.data(), OutBytes.data(),
                                    OutCount, Length);
        else if (OutCount > 1)
            TGf16::MultiplyAddMany(InBytes[0], Factors.data(), OutBytes.data(), OutCount, Length);
        else
            TGf16::MultiplyAdd(Factors[0], InBytes[0], OutBytes[0], Length);
        for (size_t Input = 0; Input < InCount; ++Input) {
            TGf16::FromKernelLayout(InBytes[Input], Length);
            EXPECT_EQ(std::vector<uint8_t>(InBytes[Input], InBytes[Input] + Length),
                      InsBefore[Input]);
        }
        for (size_t Output = 0; Output < OutCount; ++Output) {
            TGf16::FromKernelLayout(OutBytes[Output], Length);
            EXPECT_EQ(std::vector<uint8_t>(OutBytes[Output], OutBytes[Output] + Length),
                      Expected[Output])
                << "output " << Output;
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
    // Inputs and outputs: one into one, into many (past a group of outputs
    // prepared at once), and many into many (past a batch of inputs).
    const std::pair<size_t, size_t> Shapes[] = {{1, 1},  {1, 2}, {1, 3}, {1, 7},
                                                {1, 50}, {2, 1}, {9, 3}, {17, 2}};
    for (size_t Offset = 0; Offset < 64; ++Offset)
        for (const size_t Length : Lengths)
            for (const auto& [InCount, OutCount] : Shapes)
                if (Length < 4096 || InCount * OutCount <= 3 || Offset % 16 == 5)
                    ExpectPlainProducts(InCount, OutCount, Length, Offset, (Offset * 37 + 3) % 64,
                                        Random);
    for (const size_t Offset : {0, 1, 33, 63})
        for (const auto& [InCount, OutCount] : {std::pair{1, 1}, {1, 3}, {3, 2}})
            ExpectPlainProducts(InCount, OutCount, (3 << 20) + 192, Offset, 63 - Offset, Random);
}

TEST_P(Gf16KernelTest, EveryFactorMatchesThePlainProduct) {
    // A product by a factor is linear: the products of the 16 words of one
    // set bit decide all others, so one run of them checks the factor whole.
    alignas(64) uint8_t In[64], Out[64];
    for (unsigned Bit = 0; Bit < 32; ++Bit) {
        In[2 * Bit] = static_cast<uint8_t>((1U << (Bit % 16)) & 0xFF);
        In[2 * Bit + 1] = static_cast<uint8_t>((1U << (Bit % 16)) >> 8);
    }
    TGf16::ToKernelLayout(In, sizeof In);
    for (uint32_t Factor = 0; Factor <= 0xFFFF; ++Factor) {
        std::fill(std::begin(Out), std::end(Out), 0);
        TGf16::MultiplyAdd(static_cast<uint16_t>(Factor), In, Out, sizeof Out);
        TGf16::FromKernelLayout(Out, sizeof Out);
        for (unsigned Bit = 0; Bit < 16; ++Bit)
            ASSERT_EQ(
                Out[2 * Bit] | (Out[2 * Bit + 1] << 8),
                TGf16::Multiply(static_cast<uint16_t>(Factor), static_cast<uint16_t>(1U << Bit)))
                << "factor " << Factor << ", bit " << Bit;
    }
}

TEST_P(Gf16KernelTest, ThreadsWorkOnOutputsOfTheirOwnAtOnce) {
    // One input shared by two threads, each adding it into outputs of its
    // own, as the recovery data is computed on all cores.
    std::mt19937 Random(17);
    constexpr size_t Length = 65536, Count = 40;
    TRegion In(Length, 0, Random);
    std::vector<std::vector<uint8_t>> Outs(2 * Count, std::vector<uint8_t>(Length));
    std::vector<uint8_t*> OutBytes;
    std::vector<uint16_t> Factors;
    for (auto& Out : Outs) {
        OutBytes.push_back(Out.data());
        Factors.push_back(static_cast<uint16_t>(Random()));
    }
    std::vector<std::vector<uint8_t>> Expected = Outs;
    for (size_t Output = 0; Output < Outs.size(); ++Output)
        TGf16::MultiplyAdd(Factors[Output], In.Bytes, Expected[Output].data(), Length);
    std::vector<std::thread> Threads;
    for (size_t Half = 0; Half < 2; ++Half)
        Threads.emplace_back([&, Half] {
            for (int Round = 0; Round < 21; ++Round)
                TGf16::MultiplyAddMany(In.Bytes, Factors.data() + Half * Count,
                                       OutBytes.data() + Half * Count, Count, Length);
        });
    for (auto& Thread : Threads)
        Thread.join();
    // Adding a product twice adds nothing, so 21 rounds leave it once.
    EXPECT_TRUE(Outs == Expected);
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
