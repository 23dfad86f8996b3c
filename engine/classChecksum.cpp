// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Checksum run: the file read block by block, each block summed where the
// file layer read it, and the running sum reduced once per block.
#include "classChecksum.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr int32_t ChecksumModulus = 1'000'000'000;

// The plain loop sums in 16 lanes of 16 bits, one lane per byte of each run
// of 16 bytes: a lane adds 64 bytes of a block at most, 16,320, and the
// compiler adds all 16 lanes in one instruction.
constexpr int32_t Lanes = 16;

#if defined(__x86_64__) || defined(__i386__)
// The program is built for plain x86-64, so AVX2 is asked for here
// alone and used only where the processor reports it. One instruction sums
// 32 bytes into four 64-bit lanes, which no block can overflow; a step takes
// two such runs, which the processor sums side by side.
constexpr int32_t Avx2Step = 64;

__attribute__((target("avx2"))) __m256i RunSum(const uint8_t* Run) {
    return _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Run)),
                           _mm256_setzero_si256());
}

__attribute__((target("avx2"))) int32_t Avx2BlockSum(const uint8_t* Bytes, int32_t Count) {
    __m256i LaneSums = _mm256_setzero_si256();
    const int32_t Whole = Count - Count % Avx2Step;
    for (int32_t Step = 0; Step < Whole; Step += Avx2Step)
        LaneSums = _mm256_add_epi64(
            LaneSums, _mm256_add_epi64(RunSum(Bytes + Step), RunSum(Bytes + Step + 32)));
    const __m128i Halves =
        _mm_add_epi64(_mm256_castsi256_si128(LaneSums), _mm256_extracti128_si256(LaneSums, 1));
    const auto Sum = static_cast<int32_t>(_mm_cvtsi128_si32(Halves) +
                                          _mm_cvtsi128_si32(_mm_unpackhi_epi64(Halves, Halves)));
    return Whole == Count ? Sum : Sum + PlainBlockSum(Bytes + Whole, Count - Whole);
}

// Asked once, among the constructors at start-up, before which the
// processor's features must be read.
const bool HasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

} // namespace

int32_t PlainBlockSum(const uint8_t* Bytes, int32_t Count) {
    uint16_t LaneSums[Lanes] = {};
    const int32_t Whole = Count - Count % Lanes;
    for (int32_t Run = 0; Run < Whole; Run += Lanes)
        for (int32_t Lane = 0; Lane < Lanes; ++Lane)
            LaneSums[Lane] = static_cast<uint16_t>(LaneSums[Lane] + Bytes[Run + Lane]);
    int32_t Sum = 0;
    for (const uint16_t LaneSum : LaneSums)
        Sum += LaneSum;
    for (int32_t Index = Whole; Index < Count; ++Index)
        Sum += Bytes[Index];
    return Sum;
}

int32_t BlockSum(const uint8_t* Bytes, int32_t Count) {
#if defined(__x86_64__) || defined(__i386__)
    if (HasAvx2)
        return Avx2BlockSum(Bytes, Count);
#endif
    return PlainBlockSum(Bytes, Count);
}

int32_t TChecksum::Execute() {
    const TByteFile::TCloseAtExit ClosesFile(ChecksumFile);
    ChecksumFile.Assign(FileName);
    ChecksumFile.Reset();
    const int64_t Size = ChecksumFile.FileSize();
    int64_t Blocks = 0;
    int32_t Sum = 0;
    ForEachBlock(Size, Blocks, [this, &Sum](int64_t) {
        const std::span<const uint8_t> Block = ChecksumFile.NextBlock(BlockSize);
        const auto Read = static_cast<int32_t>(Block.size());
        // A block adds at most 261,120: one subtraction keeps Sum below the modulus.
        Sum += BlockSum(Block.data(), Read);
        if (Sum >= ChecksumModulus)
            Sum -= ChecksumModulus;
        return Read == BlockSize;
    });
    ChecksumFile.Close();
    return Sum;
}
