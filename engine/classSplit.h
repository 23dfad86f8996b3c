// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split engine: cuts the file named by the base file name into pieces of
// SplitSize blocks, written next to it as name.001, name.002, ..., or into
// the output folder, with the checksum file name.sha256 and the recovery
// files name.par2 and name.volA+B.par2 beside them when asked for.
#pragma once

#include "classParvoxBase.h"
#include "classRecoveryEncoder.h"
#include "classRunFolder.h"

#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

class TSplit : public TParvoxBase {
public:
    // Piece size in blocks of 1024 bytes; 1 and above are valid.
    int64_t SplitSize = 0;
    // Whether the run writes the checksum file beside the pieces.
    bool WriteChecksumFile = false;
    // The recovery data that the run writes beside the pieces, if any, and
    // the memory that its slices take at most: more passes over the input beyond it.
    std::optional<TRecoveryEncoder::TAmount> Recovery;
    int64_t RecoveryMemory = TRecoveryEncoder::MemoryBudget;

    // What a run that succeeded made: its pieces, the bare name of its
    // checksum file (empty without one), its recovery files, and the folder
    // of all.
    struct TMade {
        int64_t Pieces = 0;
        std::string ChecksumFile;
        int64_t RecoveryFiles = 0;
        std::string Folder;
    };

    void Execute();
    // How many pieces of SplitSize blocks a file of FileSize bytes makes; an
    // empty file still makes one.
    [[nodiscard]] static int64_t PiecesFor(int64_t FileSize, int64_t SplitSize);
    // The name that the pieces are written under, without their extension:
    // the base file name, or its last part in the output folder.
    [[nodiscard]] std::string PiecesBaseName() const;
    // The checksum file beside the pieces, name.sha256, when a file of that
    // name is there that is not the one of the earlier set of pieces: a run
    // that writes a checksum file refuses to touch it. Empty otherwise.
    [[nodiscard]] std::string ForeignChecksumFile() const;
    // The recovery files of Amount beside the pieces that a split of a file
    // of Total bytes into pieces of SplitSize blocks makes, named from Base
    // (without a folder); none for an empty file. Raises where the pieces
    // are too many for recovery data.
    [[nodiscard]] static std::unique_ptr<TRecoveryEncoder>
    PlanRecovery(const std::string& Base, int64_t Total, int64_t SplitSize,
                 TRecoveryEncoder::TAmount Amount, int64_t Memory = TRecoveryEncoder::MemoryBudget);
    // A recovery file where the recovery data would go (name.par2,
    // name.volA+B.par2) that is not one of the earlier set of pieces: a run
    // that writes recovery data refuses to touch it. Empty otherwise.
    [[nodiscard]] std::string ForeignRecoveryFile() const;
    // What the last run made, if it succeeded.
    [[nodiscard]] const TMade& Made() const { return LastMade; }

private:
    // The set of an earlier split in the output folder: the unbroken run of
    // pieces from .001 on, the room that their removal frees, and whether
    // the checksum file there is the set's own.
    struct TEarlier {
        int64_t Pieces = 0;
        int64_t Bytes = 0;
        bool Sums = false;
        std::vector<std::string> RecoveryFiles;
    };
    // A recovery file that the run wrote, and whether it has its final name.
    struct TRecoveryOutput {
        std::unique_ptr<TByteFile> File;
        TFileId Id;
        bool Published = false;
    };

    // The name of a piece that this split writes, or removes as an earlier one.
    [[nodiscard]] std::string OutputPieceName(int64_t Piece) const;
    [[nodiscard]] std::string SumsName() const;
    void CheckSplitSize() const;
    // Every check that comes before anything changes, for a set of Pieces
    // pieces of a file of Total bytes, Allocated of them on its medium:
    // names, the earlier set and what stands in the way of the new one, the
    // largest file and the room in Folder.
    [[nodiscard]] TEarlier CheckOutputs(const TRunFolder& Folder, int64_t Pieces, int64_t Total,
                                        int64_t Allocated, const TRecoveryEncoder* Encoder) const;
    [[nodiscard]] TEarlier FindEarlierSet(const TRunFolder& Folder) const;
    // The recovery files in Folder where a split's go: those of the earlier
    // set of Pieces pieces into Ours, and the first other one, returned
    // (empty where there is none).
    [[nodiscard]] std::string SortRecoveryFiles(const TRunFolder& Folder, int64_t Pieces,
                                                std::vector<std::string>& Ours) const;
    // The recovery data after the copy: the files of the first pass, then
    // the further passes over the input, read through Fd.
    void ComputeRecovery(TRecoveryEncoder& Encoder, int Fd, int64_t Total,
                         const TRecoveryEncoder::TWriteFile& Write) const;
    // Reads Count bytes of the input at Offset through Fd; a file that ends
    // sooner changed while it was split.
    void ReadInputAt(int Fd, int64_t Offset, uint8_t* Into, size_t Count) const;
    // Refuses a file under the name of a piece From + 1 to To.
    void CheckNothingInTheWay(const TRunFolder& Folder, int64_t From, int64_t To) const;
    // Removes the earlier set, its checksum file first; a removal that fails
    // fails the run. A stop does not cut it short: a set without its last
    // pieces would pass for whole.
    void RemoveEarlierSet(const TEarlier& Earlier) const;
    // Creates piece Piece of Pieces under its temporary name in Folder and
    // adds its file to Written, by its number.
    void CreatePiece(const TRunFolder& Folder, int64_t Piece, int64_t Pieces, mode_t Permissions,
                     std::vector<ino_t>& Written);

    TMade LastMade;
};
