// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Checksum run: one read per block, the block summed as a whole and the
// running sum reduced once per block.
#include "classChecksum.h"

#include <cstring>

namespace {

constexpr int32_t ChecksumModulus = 1'000'000'000;

// A chunk of 256 bytes sums to at most 65,280, so it fits 16 bits; with the
// fixed trip counts the compiler adds many bytes per instruction.
constexpr int32_t ChunkSize = 256;

[[nodiscard]] int32_t BlockSum(const uint8_t (&Block)[BlockSize]) {
    int32_t Sum = 0;
    for (int32_t Chunk = 0; Chunk < BlockSize; Chunk += ChunkSize) {
        uint16_t ChunkSum = 0;
        for (int32_t Index = Chunk; Index < Chunk + ChunkSize; ++Index)
            ChunkSum = static_cast<uint16_t>(ChunkSum + Block[Index]);
        Sum += ChunkSum;
    }
    return Sum;
}

} // namespace

int32_t TChecksum::Execute() {
    const TByteFile::TCloseAtExit ClosesFile(ChecksumFile);
    ChecksumFile.Assign(FileName);
    ChecksumFile.Reset();
    const int32_t Size = ChecksumFile.FileSize();
    int64_t Blocks = 0;
    int32_t Sum = 0;
    ForEachBlock(Size, Blocks, [this, &Sum](int64_t) {
        const int32_t Read = ChecksumFile.BlockRead(ChecksumBuffer, BlockSize);
        // Zero bytes add nothing, so the stale tail of a short block is cleared.
        if (Read < BlockSize)
            std::memset(ChecksumBuffer + Read, 0, static_cast<size_t>(BlockSize - Read));
        // A block adds at most 261,120: one subtraction keeps Sum below the modulus.
        Sum += BlockSum(ChecksumBuffer);
        if (Sum >= ChecksumModulus)
            Sum -= ChecksumModulus;
        return Read == BlockSize;
    });
    ChecksumFile.Close();
    return Sum;
}
