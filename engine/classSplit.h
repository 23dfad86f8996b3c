// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split engine: cuts the file named by the base file name into pieces of
// SplitSize blocks, written next to it as name.001, name.002, ..., or into
// the output folder, with the checksum file name.sha256 beside them when
// asked for.
#pragma once

#include "classParvoxBase.h"
#include "classPieceHasher.h"

#include <vector>

class TSplit : public TParvoxBase {
public:
    // Piece size in blocks of 1024 bytes; 1 and above are valid.
    int64_t SplitSize = 0;
    // Whether the run writes the checksum file beside the pieces.
    bool WriteChecksumFile = false;

    void Execute();
    // How many pieces of SplitSize blocks a file of FileSize bytes makes; an
    // empty file still makes one.
    [[nodiscard]] static int64_t PiecesFor(int64_t FileSize, int64_t SplitSize);
    // The name that the pieces are written under, without their extension:
    // the base file name, or its last part in the output folder.
    [[nodiscard]] std::string PiecesBaseName() const;

private:
    // The name of a piece that this split writes, or removes as an earlier one.
    [[nodiscard]] std::string OutputPieceName(int64_t Piece) const;
    // Removes the pieces of an earlier split, the unbroken run from .001 on;
    // returns each one's error of removal, 0 where it is gone or kept on purpose.
    [[nodiscard]] std::vector<int> DeletePieces() const;
    // Fails with the error of its removal when an old piece that could not be
    // removed follows the last new one: a join would take it as well.
    void CheckNothingFollows(int64_t LastPiece, const std::vector<int>& Removals) const;
    void CheckSplitSize() const;
    // Removes the checksum files of an earlier set, which would describe
    // other pieces than the new ones.
    void DeleteChecksumFiles() const;
    // Refuses a piece larger than the output's file system holds in one
    // file, once the first piece is created and before anything is written.
    void CheckPieceFits(int64_t Total) const;
    // Creates piece Piece as the output, or truncates it when it exists, and
    // adds it to RunFiles, the files that this run reads or wrote.
    void CreatePiece(int64_t Piece, std::vector<TFileId>& RunFiles);
    // Writes the checksum file of the pieces 1 to LastPiece, whose digests Hasher took.
    [[nodiscard]] TFileId WriteSums(int64_t LastPiece, const TPieceHasher& Hasher) const;
};
