// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: the input is opened before anything is deleted, so a
// missing or unreadable input never costs the user the pieces of an earlier split.
#include "classSplit.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>

std::string TSplit::PiecesBaseName() const {
    return OutputBaseName();
}

std::string TSplit::OutputPieceName(int64_t Piece) const {
    CheckBaseFileName();
    return PiecesBaseName() + PieceExtension(Piece);
}

std::vector<int> TSplit::DeletePieces() const {
    std::vector<int> Removals;
    ForEachPiece(PiecesBaseName(), [this, &Removals](int64_t Piece) {
        const std::string Name = OutputPieceName(Piece);
        // The input's own and only name (the base name, or the output folder's
        // name, a link to it): removing it would lose the data. It stays, and
        // the run stops at that piece.
        Removals.push_back(InputFile.IsOnlyName(Name) ? 0 : RemoveFile(Name));
    });
    return Removals;
}

void TSplit::CheckNothingFollows(int64_t LastPiece, const std::vector<int>& Removals) const {
    const auto Next = static_cast<size_t>(LastPiece) + 1;
    if (Next <= Removals.size() && Removals[Next - 1] != 0 &&
        FileExists(OutputPieceName(LastPiece + 1)))
        throw EInOutError(Removals[Next - 1]);
}

void TSplit::CheckSplitSize() const {
    if (SplitSize < 1)
        throw EParvoxError("Invalid split file size: " + std::to_string(SplitSize));
}

void TSplit::CreatePiece(int64_t Piece, std::vector<TFileId>& RunFiles) {
    OutputFile.Assign(OutputPieceName(Piece));
    // A piece name that leads to the input (a link left behind a gap) would
    // cut the input while it is read; one that leads to an earlier piece would
    // make two pieces one file. Either is refused before anything is written.
    OutputFile.Rewrite(InputFile.Permissions(), RunFiles);
    RunFiles.push_back(OutputFile.Id());
    const int64_t Blocks = (InputFile.FileSize() + BlockSize - 1) / BlockSize;
    ReportPiece(Piece, std::max<int64_t>(Blocks / SplitSize + (Blocks % SplitSize != 0), 1));
}

void TSplit::Execute() {
    CheckBaseFileName();
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    InputFile.Assign(GetBaseFileName());
    InputFile.Reset();
    std::vector<TFileId> RunFiles{InputFile.Id()};
    const std::vector<int> Removals = DeletePieces();
    CheckSplitSize();
    int64_t Piece = 1;
    CreatePiece(Piece, RunFiles);
    const int64_t Total = InputFile.FileSize();
    int64_t Blocks = 0;
    TBlockCounts Block;
    try {
        ForEachBlock(Total, Blocks, [&](int64_t Done) {
            // The copy may run ahead to the end of the piece or of the total,
            // whichever comes first, never beyond.
            const int64_t Before = Done - 1;
            const int64_t BlocksToTotal = (Total - Before * BlockSize + BlockSize - 1) / BlockSize;
            Block = InputFile.BlockCopy(
                OutputFile, BlockSize,
                std::min(SplitSize - Before % SplitSize, std::max<int64_t>(BlocksToTotal, 1)));
            if (Total <= Done * BlockSize || Block.Read != BlockSize || Block.Read != Block.Written)
                return false;
            if (Done % SplitSize == 0) {
                OutputFile.Close();
                CreatePiece(++Piece, RunFiles);
            }
            return true;
        });
    } catch (const EParvoxStopped&) {
        // Pieces of a stopped split would pass for a whole set at the next join.
        OutputFile.CloseQuietly();
        for (int64_t Written = 1; Written <= Piece; ++Written)
            RemoveWritten(OutputPieceName(Written), RunFiles[static_cast<size_t>(Written)]);
        throw;
    }
    if (Block.Read != Block.Written)
        throw EParvoxError(txtNotEnoughSpace);
    OutputFile.Close();
    InputFile.Close();
    CheckNothingFollows(Piece, Removals);
    ReportStoring();
    OutputFile.Store();
}
