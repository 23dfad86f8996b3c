// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Compare run: sizes first, then both files block by block up to the
// block that holds the first difference.
#include "classCompare.h"

#include <algorithm>
#include <cstring>

void TCompare::CompareBlocks(int32_t Count) {
    Count = std::clamp(Count, 0, BlockSize);
    BlocksEqual = std::memcmp(Buffer1, Buffer2, static_cast<size_t>(Count)) == 0;
    if (BlocksEqual) {
        DiffIndex = Count;
        return;
    }
    // Only a block known to differ is searched byte by byte.
    DiffIndex = 0;
    while (Buffer1[DiffIndex] == Buffer2[DiffIndex])
        ++DiffIndex;
}

void TCompare::ClearBuffers() {
    std::memset(Buffer1, 0, sizeof Buffer1);
    std::memset(Buffer2, 0, sizeof Buffer2);
}

void TCompare::Execute() {
    // Local handles: their destructors close whatever a failure leaves open.
    TByteFile File1;
    TByteFile File2;
    File1.Assign(FileName1);
    File2.Assign(FileName2);
    File1.Reset();
    File2.Reset();
    ClearBuffers();
    // Files of different sizes are never read, even when one is a prefix of the other.
    const int64_t Size = File1.FileSize();
    if (Size != File2.FileSize()) {
        CompareResult = CompareUnequalLength;
    } else {
        int64_t Blocks = 0;
        int32_t Read = 0;
        int32_t Read2 = 0;
        ForEachBlock(Size, Blocks, [&](int64_t) {
            const std::span<const uint8_t> Block1 = File1.NextBlock(BlockSize);
            const std::span<const uint8_t> Block2 = File2.NextBlock(BlockSize);
            Read = static_cast<int32_t>(Block1.size());
            Read2 = static_cast<int32_t>(Block2.size());
            // Blocks are compared where they were read; only a pair that
            // differs is copied to the buffers, to find the first difference.
            BlocksEqual =
                Read == Read2 && std::memcmp(Block1.data(), Block2.data(), Block1.size()) == 0;
            if (!BlocksEqual) {
                std::copy(Block1.begin(), Block1.end(), Buffer1);
                std::copy(Block2.begin(), Block2.end(), Buffer2);
                CompareBlocks(Read);
            }
            return Read == BlockSize && Read2 == BlockSize && BlocksEqual;
        });
        // A file that grew or shrank while it was read differs in length after
        // all: bytes left from an earlier block, or read ahead before the
        // change, must not count as equal.
        if (Read != Read2 ||
            (BlocksEqual && (File1.FileSize() != Size || File2.FileSize() != Size)))
            CompareResult = CompareUnequalLength;
        else
            CompareResult = BlocksEqual ? CompareEqual : (Blocks - 1) * BlockSize + DiffIndex;
    }
    File1.Close();
    File2.Close();
}
