// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split engine: cuts the file named by the base file name into pieces of
// SplitSize blocks, written next to it as name.001, name.002, ..., or into
// the output folder, with the checksum file name.sha256 beside them when
// asked for.
#pragma once

#include "classParvoxBase.h"
#include "classRunFolder.h"

#include <sys/types.h>
#include <vector>

class TSplit : public TParvoxBase {
public:
    // Piece size in blocks of 1024 bytes; 1 and above are valid.
    int64_t SplitSize = 0;
    // Whether the run writes the checksum file beside the pieces.
    bool WriteChecksumFile = false;

    // What a run that succeeded made: its pieces, the bare name of its
    // checksum file (empty without one), and the folder of both.
    struct TMade {
        int64_t Pieces = 0;
        std::string ChecksumFile;
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
                                        int64_t Allocated) const;
    [[nodiscard]] TEarlier FindEarlierSet() const;
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
