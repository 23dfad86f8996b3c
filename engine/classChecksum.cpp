// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Checksum run: the file read block by block, each block summed as a whole
// and the running sum reduced once per block.
#include "classChecksum.h"

#include <cstring>

namespace {

constexpr int32_t ChecksumModulus = 1'000'000'000;

// The block is summed in 16 lanes of 16 bits, one lane per byte of each run
// of 16 bytes: a lane adds 64 bytes, at most 16,320, and the compiler adds
// all 16 lanes in one instruction.
constexpr int32_t Lanes = 16;

[[nodiscard]] int32_t BlockSum(const uint8_t (&Block)[BlockSize]) {
    uint16_t LaneSums[Lanes] = {};
    for (int32_t Run = 0; Run < BlockSize; Run += Lanes)
        for (int32_t Lane = 0; Lane < Lanes; ++Lane)
            LaneSums[Lane] = static_cast<uint16_t>(LaneSums[Lane] + Block[Run + Lane]);
    int32_t Sum = 0;
    for (const uint16_t LaneSum : LaneSums)
        Sum += LaneSum;
    return Sum;
}

} // namespace

int32_t TChecksum::Execute() {
    const TByteFile::TCloseAtExit ClosesFile(ChecksumFile);
    ChecksumFile.Assign(FileName);
    ChecksumFile.Reset();
    const int64_t Size = ChecksumFile.FileSize();
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
