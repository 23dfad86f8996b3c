// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The recovery data of a split: PAR2 recovery files whose input files are
// the pieces, so that a join here or any other PAR2 program can rebuild
// damaged or lost pieces. The encoder plans the set from the pieces' names
// and sizes alone (the slice size, the recovery slices, the files and their
// sizes, the passes), then takes the input's bytes in order, once per pass,
// and writes each file through the caller once its data is complete: the
// index NAME.par2 and the volumes NAME.volA+B.par2 (A the first exponent, B
// the count), each volume with the set's description twice more. The work runs
// on one thread a core beside the caller's; the caller's calls come one at
// a time, from any one thread.
#pragma once

#include "classMd5.h"
#include "classSliceDigests.h"
#include "classSliceMixer.h"
#include "classWorkers.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TRecoveryEncoder {
public:
    // A piece: its name without a folder, and its size.
    struct TPiece {
        std::string Name;
        int64_t Size = 0;
    };
    // How much recovery data: a share of the input slices, or enough to
    // rebuild any one whole piece.
    struct TAmount {
        int Percent = 10;
        bool OneLostPiece = false;
    };
    // A file that the encoder writes, its size, and the pass that completes it.
    struct TOutput {
        std::string Name;
        int64_t Size = 0;
        int Pass = 0;
    };
    // Writes a whole file under Name (without a folder) from Parts in order.
    using TWriteFile = std::function<void(const std::string& Name,
                                          const std::vector<std::span<const uint8_t>>& Parts)>;
    // Reads Count bytes of the input from Offset on into Into, or raises.
    using TReadAt = std::function<void(int64_t Offset, uint8_t* Into, size_t Count)>;

    // The memory that the recovery slices of one pass take at most; more
    // passes over the input beyond it.
    static constexpr int64_t MemoryBudget = 256 << 20;

    // Plans the set NAME (the pieces' base name, without a folder) of the
    // pieces, in order; raises when the pieces are too many for one set.
    TRecoveryEncoder(std::string SetName, std::vector<TPiece> Pieces, TAmount Amount,
                     int64_t Budget = MemoryBudget);
    TRecoveryEncoder(const TRecoveryEncoder&) = delete;
    TRecoveryEncoder& operator=(const TRecoveryEncoder&) = delete;

    // Asked between slices, on any thread: a run asked to stop ends with EParvoxStopped.
    std::function<bool()> StopWanted;
    // The message of an input that changed while it was read.
    std::string ChangedMessage;

    [[nodiscard]] int64_t SliceSize() const { return Slice; }
    [[nodiscard]] int64_t InputSlices() const { return Slices; }
    [[nodiscard]] int64_t RecoverySlices() const { return Recovery; }
    // How many times the input is fed; 0 for an empty input, which needs no recovery data.
    [[nodiscard]] int Passes() const { return static_cast<int>(PassRanges.size()); }
    [[nodiscard]] const std::vector<TOutput>& Outputs() const { return Files; }
    [[nodiscard]] int64_t OutputBytes() const;

    // Before the first pass: reads the head of each piece, which decides the
    // order of the slices in the set.
    void ReadHeads(const TReadAt& Read);
    // Pass Pass (from 0) begins: the input follows from its first byte.
    void BeginPass(int Pass);
    // The input's next bytes, in any portions; what goes beyond the planned
    // size raises the message of an input that changed.
    void Add(const uint8_t* Bytes, size_t Count);
    // The whole input has been added: waits for its work and writes the
    // files that this pass completes (the index and the first volumes after
    // the first pass). Raises the message of an input that changed when the
    // bytes differ from the planned size, from the heads read before, or
    // from the first pass's.
    void EndPass(const TWriteFile& Write);

private:
    struct TPlanned {
        std::string Name;
        int64_t Size = 0;
        int64_t Start = 0;
        int64_t FirstSlice = 0;
        int64_t SliceCount = 0;
        // Its head's MD5, read before the first pass, and its id.
        TMd5::TDigest HeadMd5{};
        TMd5::TDigest Id{};
        // The constant index of its first slice: its place in the main packet's order.
        int64_t FirstConstant = 0;
        // Taken in the first pass: its MD5, and its head's again, which the
        // first must equal.
        TMd5::TDigest Md5{};
        TMd5::TDigest ReadHead{};
    };
    struct TVolume {
        uint32_t First = 0;
        uint32_t Count = 0;
        int Pass = 0;
    };
    struct TRange {
        uint32_t First = 0;
        uint32_t Count = 0;
    };

    void ChooseSliceSize();
    void PlanFiles(TAmount Amount, int64_t Budget);
    [[nodiscard]] size_t PieceOf(int64_t Slice) const;
    // The set's description: main, file description and slice checksum packets.
    void Describe();
    [[nodiscard]] int64_t DescriptionBytes() const;
    [[nodiscard]] std::string VolumeName(const TVolume& Volume) const;
    [[noreturn]] void Changed() const;
    void Prepare(TSliceMixer::TSlot& Slot);
    void HashInOrder(std::span<const TSliceMixer::TSlot> Slots);

    // The plan: the set's name and pieces, the input's bytes, the slice
    // size, the input and recovery slices, and how the recovery slices go
    // into files and passes.
    std::string SetName;
    std::vector<TPlanned> Pieces;
    std::vector<TVolume> Volumes;
    std::vector<TRange> PassRanges;
    std::vector<TOutput> Files;
    int64_t Total = 0;
    int64_t Slice = 4;
    int64_t Slices = 0;
    int64_t Recovery = 0;
    bool HeadsRead = false;

    // The pass under way, and where its input stands: the bytes fed, the
    // piece and the bytes of it fed, and the slice being filled.
    struct TStream {
        int64_t Fed = 0;
        size_t Piece = 0;
        int64_t InPiece = 0;
        int64_t Slice = 0;
        TSliceMixer::TSlot* Open = nullptr;
    };
    int Pass = -1;
    TStream At;
    std::unique_ptr<TWorkers> Workers;
    std::unique_ptr<TSliceMixer> Mixer;
    std::atomic<bool> Differs = false;

    // Taken in the first pass.
    std::vector<TSliceDigests::TSlice> Sums;
    // The digests of the piece whose bytes are being hashed in order.
    std::optional<TSliceDigests> Hashing;
    TMd5::TDigest SetId{};
    std::vector<uint8_t> Description;
    std::vector<uint8_t> Creator;
};
