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

// Adds Count zero bytes to an MD5 and a CRC-32.
void AddZeros(TMd5& Md5, uint32_t& Crc, int64_t Count) {
    for (int64_t Left = Count; Left > 0;) {
        const auto Part = static_cast<size_t>(std::min<int64_t>(Left, ZeroChunk));
        Md5.Add(Zeros, Part);
        Crc = CrcAdd(Crc, Zeros, Part);
        Left -= static_cast<int64_t>(Part);
    }
}

} // namespace

TSliceDigests::TSliceDigests(int64_t SliceSize, bool EachSlice)
    : SliceSize(SliceSize), EachSlice(EachSlice) {}

void TSliceDigests::Add(const uint8_t* In, size_t Count) {
    WholeFile.Add(In, Count);
    if (Bytes < HeadSize)
        HeadPart.Add(In, static_cast<size_t>(std::min<int64_t>(HeadSize - Bytes, Count)));
    Bytes += static_cast<int64_t>(Count);
    while (EachSlice && Count > 0) {
        const auto Part = static_cast<size_t>(std::min<int64_t>(SliceSize - InSlice, Count));
        SlicePart.Add(In, Part);
        Crc = CrcAdd(Crc, In, Part);
        In += Part;
        Count -= Part;
        if ((InSlice += static_cast<int64_t>(Part)) == SliceSize)
            EndSlice();
    }
}

void TSliceDigests::EndSlice() {
    Done.push_back({SlicePart.Final(), Crc});
    Crc = 0;
    InSlice = 0;
}

void TSliceDigests::Finish() {
    if (EachSlice && InSlice > 0) {
        AddZeros(SlicePart, Crc, SliceSize - InSlice);
        EndSlice();
    }
    File = WholeFile.Final();
    Head = HeadPart.Final();
}

TSliceDigests::TSlice TSliceDigests::Slice(const uint8_t* Bytes, size_t Count, int64_t SliceSize) {
    TMd5 Md5;
    Md5.Add(Bytes, Count);
    uint32_t Crc = CrcAdd(0, Bytes, Count);
    AddZeros(Md5, Crc, SliceSize - static_cast<int64_t>(Count));
    return {Md5.Final(), Crc};
}

uint32_t TSliceDigests::CrcOf(const uint8_t* Bytes, size_t Count) {
    return CrcAdd(0, Bytes, Count);
}
