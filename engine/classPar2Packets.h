// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The packets of recovery files in the PAR2 format, which other programs
// on any system read too: a header (magic, length, MD5 of the rest, the
// recovery set's id and the packet's type) and a body. A packet is built in
// one buffer with its digest taken last. The reader finds packets in a file
// of any content: it checks every length against the bytes left before it
// reads, skips a packet whose digest is wrong and looks for the next one,
// and hashes at most a bounded multiple of the file's size, whatever the
// lengths in it claim.
#pragma once

#include "classMd5.h"
#include "classSliceDigests.h"

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

class TPar2Packets {
public:
    using TType = std::array<uint8_t, 16>;
    static const TType MainType;
    static const TType FileType;
    static const TType SlicesType;
    static const TType RecoveryType;
    static const TType CreatorType;
    static constexpr int64_t HeaderSize = 64;
    // The most input slices, and so input files, of a set: its slices' constants.
    static constexpr int64_t MostSlices = 32768;
    // The longest body of a packet other than a recovery slice that the
    // reader keeps: a slice checksum packet of MostSlices slices fits.
    static constexpr int64_t LongestKeptBody = 1 << 20;

    // What the file description packet says of an input file.
    struct TFile {
        TMd5::TDigest Id{};
        TMd5::TDigest Md5{};
        TMd5::TDigest HeadMd5{};
        int64_t Length = 0;
        std::string Name;
    };
    // What the main packet says: the slice size and the ids of the files
    // that can be rebuilt, in the order of their slices' constants.
    struct TMain {
        int64_t SliceSize = 0;
        std::vector<TMd5::TDigest> Files;
    };
    // A packet as the reader finds it: Body is kept for packets other than
    // recovery slices up to LongestKeptBody; a recovery slice keeps its
    // exponent, and its data lies at DataOffset, SliceBytes long.
    struct TFound {
        TMd5::TDigest Digest{};
        TMd5::TDigest SetId{};
        TType Type{};
        std::vector<uint8_t> Body;
        uint32_t Exponent = 0;
        int64_t DataOffset = 0;
        int64_t SliceBytes = 0;
    };

    // The 64-byte header of a packet whose body is the Body parts one after the other.
    [[nodiscard]] static std::array<uint8_t, HeaderSize>
    Header(const TMd5::TDigest& SetId, const TType& Type,
           std::initializer_list<std::span<const uint8_t>> Body);
    // A whole packet in one buffer.
    [[nodiscard]] static std::vector<uint8_t> Packet(const TMd5::TDigest& SetId, const TType& Type,
                                                     std::span<const uint8_t> Body);

    // A file's id: the MD5 of its head's MD5, its length and its name.
    [[nodiscard]] static TMd5::TDigest FileId(const TMd5::TDigest& HeadMd5, int64_t Length,
                                              const std::string& Name);
    // The order of ids in the main packet: as 16-byte little-endian numbers.
    [[nodiscard]] static bool IdBefore(const TMd5::TDigest& A, const TMd5::TDigest& B);

    [[nodiscard]] static std::vector<uint8_t> MainBody(const TMain& Main);
    [[nodiscard]] static std::vector<uint8_t> FileBody(const TFile& File);
    [[nodiscard]] static std::vector<uint8_t>
    SlicesBody(const TMd5::TDigest& FileId, const std::vector<TSliceDigests::TSlice>& Slices);
    [[nodiscard]] static std::vector<uint8_t> CreatorBody(const std::string& Text);

    // The bodies read back; false for a body whose lengths do not add up.
    // The main packet's files are those that can be rebuilt; the others are left out.
    [[nodiscard]] static bool ReadMain(std::span<const uint8_t> Body, TMain& Main);
    // The name as stored, without the zero bytes that pad it.
    [[nodiscard]] static bool ReadFile(std::span<const uint8_t> Body, TFile& File);
    [[nodiscard]] static bool ReadSlices(std::span<const uint8_t> Body, TMd5::TDigest& FileId,
                                         std::vector<TSliceDigests::TSlice>& Slices);

    // Reads the packets of the open file Fd of Size bytes in order and hands
    // each whole one to Take. A read that fails ends the file as if it ended there.
    static void Scan(int Fd, int64_t Size, const std::function<void(TFound&)>& Take);
};
