// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The digests by which the recovery data knows an input file, taken as its
// bytes go by: the MD5 of the whole file and of its first 16 KiB, and the
// MD5 and CRC-32 of each slice, a last short slice padded with zero bytes
// to the slice size. Each part is taken only where asked for.
#pragma once

#include "classMd5.h"

#include <cstdint>
#include <vector>

class TSliceDigests {
public:
    struct TSlice {
        TMd5::TDigest Md5{};
        uint32_t Crc = 0;
        bool operator==(const TSlice&) const = default;
    };
    // The parts to take, or'ed together.
    enum TParts : unsigned {
        WholeFile = 1, // the MD5 of the file and of its head
        SliceMd5 = 2,
        SliceCrc = 4,
    };
    // The bytes of a file's head that its identity covers.
    static constexpr int64_t HeadSize = 16384;

    TSliceDigests(int64_t SliceSize, unsigned Parts);

    void Add(const uint8_t* Bytes, size_t Count);
    // The file has ended: its last slice is padded and its digests are final.
    void Finish();

    [[nodiscard]] int64_t Length() const { return Bytes; }
    [[nodiscard]] const TMd5::TDigest& FileMd5() const { return File; }
    [[nodiscard]] const TMd5::TDigest& HeadMd5() const { return Head; }
    // The slices ended so far, each whole or, after Finish, padded.
    [[nodiscard]] const std::vector<TSlice>& Slices() const { return Done; }

    // The MD5 and CRC-32 of one slice of Count bytes, padded to SliceSize.
    [[nodiscard]] static TSlice Slice(const uint8_t* Bytes, size_t Count, int64_t SliceSize);
    [[nodiscard]] static uint32_t CrcOf(const uint8_t* Bytes, size_t Count);

private:
    void AddToSlice(const uint8_t* Bytes, size_t Count);
    void EndSlice();

    int64_t SliceSize;
    unsigned Parts;
    int64_t Bytes = 0;
    int64_t InSlice = 0;
    TMd5 WholePart;
    TMd5 HeadPart;
    TMd5 SlicePart;
    uint32_t Crc = 0;
    TMd5::TDigest File{};
    TMd5::TDigest Head{};
    std::vector<TSlice> Done;
};
