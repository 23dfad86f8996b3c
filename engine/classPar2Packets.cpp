// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Building and reading the packets of recovery files.
#include "classPar2Packets.h"

#include "classParvoxErrors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace {

constexpr uint8_t Magic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
// Where the part of a packet that its digest covers begins.
constexpr int64_t DigestFrom = 32;
// The bytes read at once while a file is scanned.
constexpr int64_t ScanChunk = 1 << 20;

constexpr TPar2Packets::TType TypeOf(const char (&Text)[17]) {
    TPar2Packets::TType Type{};
    for (size_t At = 0; At < Type.size(); ++At)
        Type[At] = static_cast<uint8_t>(Text[At]);
    return Type;
}

void Put(std::vector<uint8_t>& Out, uint64_t Value, int Bytes) {
    for (int At = 0; At < Bytes; ++At)
        Out.push_back(static_cast<uint8_t>(Value >> (8 * At)));
}

void Put(std::vector<uint8_t>& Out, std::span<const uint8_t> Bytes) {
    Out.insert(Out.end(), Bytes.begin(), Bytes.end());
}

uint64_t Get(const uint8_t* In, int Bytes) {
    uint64_t Value = 0;
    for (int At = Bytes - 1; At >= 0; --At)
        Value = Value << 8 | In[At];
    return Value;
}

TMd5::TDigest DigestAt(const uint8_t* In) {
    TMd5::TDigest Digest;
    std::memcpy(Digest.data(), In, Digest.size());
    return Digest;
}

void PadToFour(std::vector<uint8_t>& Out) {
    Out.resize((Out.size() + 3) / 4 * 4, 0);
}

// Reads up to Count bytes at Offset; fewer only where the file ends or fails.
int64_t ReadAt(int Fd, uint8_t* Into, int64_t Count, int64_t Offset) {
    int64_t Done = 0;
    while (Done < Count) {
        const ssize_t Got = Retried([&] {
            return ::pread(Fd, Into + Done, static_cast<size_t>(Count - Done), Offset + Done);
        });
        if (Got <= 0)
            break;
        Done += Got;
    }
    return Done;
}

} // namespace

const TPar2Packets::TType TPar2Packets::MainType = TypeOf("PAR 2.0\0Main\0\0\0\0");
const TPar2Packets::TType TPar2Packets::FileType = TypeOf("PAR 2.0\0FileDesc");
const TPar2Packets::TType TPar2Packets::SlicesType = TypeOf("PAR 2.0\0IFSC\0\0\0\0");
const TPar2Packets::TType TPar2Packets::RecoveryType = TypeOf("PAR 2.0\0RecvSlic");
const TPar2Packets::TType TPar2Packets::CreatorType = TypeOf("PAR 2.0\0Creator\0");

std::array<uint8_t, TPar2Packets::HeaderSize>
TPar2Packets::Header(const TMd5::TDigest& SetId, const TType& Type,
                     std::initializer_list<std::span<const uint8_t>> Body) {
    uint64_t Length = HeaderSize;
    TMd5 Md5;
    Md5.Add(SetId.data(), SetId.size());
    Md5.Add(Type.data(), Type.size());
    for (const auto Part : Body) {
        Md5.Add(Part.data(), Part.size());
        Length += Part.size();
    }
    std::vector<uint8_t> Out(Magic, Magic + sizeof Magic);
    Put(Out, Length, 8);
    Put(Out, Md5.Final());
    Put(Out, SetId);
    Put(Out, Type);
    std::array<uint8_t, HeaderSize> Made{};
    std::copy(Out.begin(), Out.end(), Made.begin());
    return Made;
}

std::vector<uint8_t> TPar2Packets::Packet(const TMd5::TDigest& SetId, const TType& Type,
                                          std::span<const uint8_t> Body) {
    const auto Head = Header(SetId, Type, {Body});
    std::vector<uint8_t> Out(Head.begin(), Head.end());
    Put(Out, Body);
    return Out;
}

TMd5::TDigest TPar2Packets::FileId(const TMd5::TDigest& HeadMd5, int64_t Length,
                                   const std::string& Name) {
    std::vector<uint8_t> Text(HeadMd5.begin(), HeadMd5.end());
    Put(Text, static_cast<uint64_t>(Length), 8);
    Text.insert(Text.end(), Name.begin(), Name.end());
    return TMd5::Of(Text.data(), Text.size());
}

bool TPar2Packets::IdBefore(const TMd5::TDigest& A, const TMd5::TDigest& B) {
    return std::lexicographical_compare(A.rbegin(), A.rend(), B.rbegin(), B.rend());
}

std::vector<uint8_t> TPar2Packets::MainBody(const TMain& Main) {
    std::vector<uint8_t> Body;
    Put(Body, static_cast<uint64_t>(Main.SliceSize), 8);
    Put(Body, Main.Files.size(), 4);
    for (const auto& Id : Main.Files)
        Put(Body, Id);
    return Body;
}

std::vector<uint8_t> TPar2Packets::FileBody(const TFile& File) {
    std::vector<uint8_t> Body(File.Id.begin(), File.Id.end());
    Put(Body, File.Md5);
    Put(Body, File.HeadMd5);
    Put(Body, static_cast<uint64_t>(File.Length), 8);
    Body.insert(Body.end(), File.Name.begin(), File.Name.end());
    PadToFour(Body);
    return Body;
}

std::vector<uint8_t> TPar2Packets::SlicesBody(const TMd5::TDigest& FileId,
                                              const std::vector<TSliceDigests::TSlice>& Slices) {
    std::vector<uint8_t> Body(FileId.begin(), FileId.end());
    for (const auto& Slice : Slices) {
        Put(Body, Slice.Md5);
        Put(Body, Slice.Crc, 4);
    }
    return Body;
}

std::vector<uint8_t> TPar2Packets::CreatorBody(const std::string& Text) {
    std::vector<uint8_t> Body(Text.begin(), Text.end());
    PadToFour(Body);
    return Body;
}

bool TPar2Packets::ReadMain(std::span<const uint8_t> Body, TMain& Main) {
    if (Body.size() < 12 || (Body.size() - 12) % 16 != 0)
        return false;
    const uint64_t SliceSize = Get(Body.data(), 8);
    const uint64_t Count = Get(Body.data() + 8, 4);
    if (SliceSize == 0 || SliceSize % 4 != 0 ||
        SliceSize > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 4) ||
        Count > (Body.size() - 12) / 16)
        return false;
    Main.SliceSize = static_cast<int64_t>(SliceSize);
    Main.Files.clear();
    for (uint64_t File = 0; File < Count; ++File)
        Main.Files.push_back(DigestAt(Body.data() + 12 + 16 * File));
    return true;
}

bool TPar2Packets::ReadFile(std::span<const uint8_t> Body, TFile& File) {
    if (Body.size() < 56)
        return false;
    const uint64_t Length = Get(Body.data() + 48, 8);
    if (Length > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 4))
        return false;
    File.Id = DigestAt(Body.data());
    File.Md5 = DigestAt(Body.data() + 16);
    File.HeadMd5 = DigestAt(Body.data() + 32);
    File.Length = static_cast<int64_t>(Length);
    File.Name.assign(Body.begin() + 56, Body.end());
    for (int Pad = 0; Pad < 3 && !File.Name.empty() && File.Name.back() == '\0'; ++Pad)
        File.Name.pop_back();
    return true;
}

bool TPar2Packets::ReadSlices(std::span<const uint8_t> Body, TMd5::TDigest& FileId,
                              std::vector<TSliceDigests::TSlice>& Slices) {
    if (Body.size() < 16 || (Body.size() - 16) % 20 != 0)
        return false;
    FileId = DigestAt(Body.data());
    Slices.clear();
    for (size_t At = 16; At < Body.size(); At += 20)
        Slices.push_back(
            {DigestAt(Body.data() + At), static_cast<uint32_t>(Get(&Body[At + 16], 4))});
    return true;
}

void TPar2Packets::Scan(int Fd, int64_t Size, const std::function<void(TFound&)>& Take) {
    std::vector<uint8_t> Chunk(static_cast<size_t>(ScanChunk));
    // The next magic sequence at or after From, through chunks that overlap
    // by its length; -1 when there is none.
    const auto NextMagic = [&](int64_t From) -> int64_t {
        // Packets follow each other: the next one is most often right there,
        // and a look at its first bytes saves the read of a whole chunk.
        if (Size - From >= HeaderSize &&
            ReadAt(Fd, Chunk.data(), sizeof Magic, From) == static_cast<int64_t>(sizeof Magic) &&
            std::equal(std::begin(Magic), std::end(Magic), Chunk.begin()))
            return From;
        for (;;) {
            const int64_t Want = std::min(ScanChunk, Size - From);
            if (Want < HeaderSize)
                return -1;
            const int64_t Got = ReadAt(Fd, Chunk.data(), Want, From);
            const auto End = Chunk.begin() + Got;
            const auto Found = std::search(Chunk.begin(), End, std::begin(Magic), std::end(Magic));
            if (Found != End)
                return From + (Found - Chunk.begin());
            if (Got < Want)
                return -1;
            From += Got - static_cast<int64_t>(sizeof Magic) + 1;
        }
    };
    // A packet's length is checked against the bytes left, and its digest
    // against its bytes; a run of false headers each claiming the rest of
    // the file would still cost a hash of the rest per header, so the bytes
    // hashed are bounded, far beyond what a sound file ever needs.
    int64_t Budget = 2 * Size + 4 * ScanChunk;
    for (int64_t Start = NextMagic(0); Start >= 0 && Start + HeaderSize <= Size;) {
        uint8_t Head[HeaderSize];
        if (ReadAt(Fd, Head, HeaderSize, Start) != HeaderSize)
            return;
        const uint64_t Length = Get(Head + 8, 8);
        if (Length < HeaderSize || Length % 4 != 0 ||
            Length > static_cast<uint64_t>(Size - Start)) {
            Start = NextMagic(Start + 1);
            continue;
        }
        if ((Budget -= static_cast<int64_t>(Length)) < 0)
            return;
        TFound Packet;
        const TMd5::TDigest Claimed = DigestAt(Head + 16);
        Packet.SetId = DigestAt(Head + 32);
        std::memcpy(Packet.Type.data(), Head + 48, Packet.Type.size());
        const auto BodyBytes = static_cast<int64_t>(Length) - HeaderSize;
        const bool Recovery = Packet.Type == RecoveryType;
        const bool Kept = !Recovery && BodyBytes <= LongestKeptBody;
        TMd5 Md5;
        Md5.Add(Head + DigestFrom, HeaderSize - DigestFrom);
        for (int64_t Done = 0; Done < BodyBytes;) {
            const int64_t Want = std::min(ScanChunk, BodyBytes - Done);
            if (ReadAt(Fd, Chunk.data(), Want, Start + HeaderSize + Done) != Want)
                return;
            Md5.Add(Chunk.data(), static_cast<size_t>(Want));
            if (Kept)
                Packet.Body.insert(Packet.Body.end(), Chunk.begin(), Chunk.begin() + Want);
            else if (Recovery && Done == 0 && Want >= 4)
                Packet.Exponent = static_cast<uint32_t>(Get(Chunk.data(), 4));
            Done += Want;
        }
        Packet.Digest = Md5.Final();
        if (Packet.Digest != Claimed || (Recovery && BodyBytes < 4)) {
            Start = NextMagic(Start + 1);
            continue;
        }
        if (Recovery) {
            Packet.DataOffset = Start + HeaderSize + 4;
            Packet.SliceBytes = BodyBytes - 4;
        }
        if (Kept || Recovery)
            Take(Packet);
        Start = NextMagic(Start + static_cast<int64_t>(Length));
    }
}
