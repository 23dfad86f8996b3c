// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Digests of an input file and its slices, with the padding of its last slice.
#include "classSliceDigests.h"

#include <algorithm>
#include <zlib.h>

namespace {

// Zero bytes for the padding of a slice, fed a chunk at a time.
constexpr size_t ZeroChunk = 65536;
const uint8_t Zeros[ZeroChunk] = {};

uint32_t CrcAdd(uint32_t Crc, const uint8_t* Bytes, size_t Count) {
    uLong Sum = Crc;
    for (size_t Done = 0; Done < Count;) {
        const size_t Part = std::min<size_t>(Count - Done, 1U << 30);
        Sum = crc32(Sum, Bytes + Done, static_cast<uInt>(Part));
        Done += Part;
    }
    return static_cast<uint32_t>(Sum);
}

} // namespace

TSliceDigests::TSliceDigests(int64_t SliceSize, unsigned Parts)
    : SliceSize(SliceSize), Parts(Parts) {}

void TSliceDigests::Add(const uint8_t* In, size_t Count) {
    if ((Parts & WholeFile) != 0) {
        WholePart.Add(In, Count);
        if (Bytes < HeadSize)
            HeadPart.Add(In, static_cast<size_t>(std::min<int64_t>(HeadSize - Bytes, Count)));
    }
    Bytes += static_cast<int64_t>(Count);
    if ((Parts & (SliceMd5 | SliceCrc)) != 0)
        AddToSlice(In, Count);
}

void TSliceDigests::AddToSlice(const uint8_t* In, size_t Count) {
    while (Count > 0) {
        const auto Part = static_cast<size_t>(std::min<int64_t>(SliceSize - InSlice, Count));
        if ((Parts & SliceMd5) != 0)
            SlicePart.Add(In, Part);
        if ((Parts & SliceCrc) != 0)
            Crc = CrcAdd(Crc, In, Part);
        In += Part;
        Count -= Part;
        if ((InSlice += static_cast<int64_t>(Part)) == SliceSize)
            EndSlice();
    }
}

void TSliceDigests::EndSlice() {
    Done.push_back({(Parts & SliceMd5) != 0 ? SlicePart.Final() : TMd5::TDigest{}, Crc});
    Crc = 0;
    InSlice = 0;
}

void TSliceDigests::Finish() {
    if (InSlice > 0)
        for (int64_t Left = SliceSize - InSlice; Left > 0;) {
            const auto Part = static_cast<size_t>(std::min<int64_t>(Left, ZeroChunk));
            AddToSlice(Zeros, Part);
            Left -= static_cast<int64_t>(Part);
        }
    if ((Parts & WholeFile) != 0) {
        File = WholePart.Final();
        Head = HeadPart.Final();
    }
}

TSliceDigests::TSlice TSliceDigests::Slice(const uint8_t* Bytes, size_t Count, int64_t SliceSize) {
    TSliceDigests Digests(SliceSize, SliceMd5 | SliceCrc);
    Digests.Add(Bytes, Count);
    Digests.Finish();
    return Digests.Slices().front();
}

uint32_t TSliceDigests::CrcOf(const uint8_t* Bytes, size_t Count) {
    return CrcAdd(0, Bytes, Count);
}
