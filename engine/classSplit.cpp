// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: the input is opened before anything is deleted, so a
// missing or unreadable input never costs the user the pieces of an earlier split.
#include "classSplit.h"

#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <optional>

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
    const std::string Name = OutputPieceName(LastPiece + 1);
    if (Next <= Removals.size() && Removals[Next - 1] != 0 && FileExists(Name))
        throw EInOutError(Removals[Next - 1], Name);
}

void TSplit::CheckSplitSize() const {
    if (SplitSize < 1)
        throw EParvoxError("Invalid split file size: " + std::to_string(SplitSize));
}

void TSplit::DeleteChecksumFiles() const {
    for (const char* Extension : {".sha256", ".crc"}) {
        const std::string Name = PiecesBaseName() + Extension;
        if (InputFile.IsOnlyName(Name))
            continue;
        if (const int Error = RemoveFile(Name); Error != 0)
            throw EInOutError(Error, Name);
    }
}

void TSplit::CheckPieceFits(int64_t Total) const {
    int64_t Largest = Total;
    if (!__builtin_mul_overflow(SplitSize, int64_t{BlockSize}, &Largest))
        Largest = std::min(Largest, Total);
    // A FAT stick takes files below 4 GiB: a larger piece would fail only
    // once that much of it is written. The first piece, still empty, is the
    // one handle on the pieces' file system.
    if (!OutputFile.FolderHolds(OutputPieceName(1), Largest))
        throw EParvoxError(txtPieceTooLarge);
}

int64_t TSplit::PiecesFor(int64_t FileSize, int64_t SplitSize) {
    const int64_t Blocks = (FileSize + BlockSize - 1) / BlockSize;
    return std::max<int64_t>((Blocks + SplitSize - 1) / SplitSize, 1);
}

std::string TSplit::PiecesBaseName() const {
    return OutputBaseName();
}

void TSplit::CreatePiece(int64_t Piece, std::vector<TFileId>& RunFiles) {
    OutputFile.Assign(OutputPieceName(Piece));
    // A piece name that leads to the input (a link left behind a gap) would
    // cut the input while it is read; one that leads to an earlier piece would
    // make two pieces one file. Either is refused before anything is written.
    OutputFile.Rewrite(InputFile.Permissions(), RunFiles);
    RunFiles.push_back(OutputFile.Id());
    ReportPiece(Piece, PiecesFor(InputFile.FileSize(), SplitSize));
}

TFileId TSplit::WriteSums(int64_t LastPiece, const TPieceHasher& Hasher) const {
    std::vector<std::string> Names;
    for (int64_t Piece = 1; Piece <= LastPiece; ++Piece)
        Names.push_back(TPieceSums::BareName(OutputPieceName(Piece)));
    return TPieceSums::Write(PiecesBaseName() + ".sha256", InputFile.Permissions(),
                             TPieceSums::BareName(PiecesBaseName()), Names, Hasher);
}

void TSplit::Execute() {
    CheckBaseFileName();
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    InputFile.Assign(GetBaseFileName());
    InputFile.Reset();
    const int64_t Total = InputFile.FileSize();
    std::vector<TFileId> RunFiles{InputFile.Id()};
    const std::vector<int> Removals = DeletePieces();
    DeleteChecksumFiles();
    CheckSplitSize();
    TPieceHasher Hasher;
    std::optional<TFileId> Sums;
    const auto Run = [&] {
        int64_t Piece = 1;
        CreatePiece(Piece, RunFiles);
        CheckPieceFits(Total);
        if (WriteChecksumFile) {
            Hasher.Start(true, TPieceHasher::TAlgorithm::Sha256);
            Hasher.BeginPiece(InputFile, 0);
        }
        int64_t Blocks = 0;
        int64_t Bytes = 0;
        TBlockCounts Block;
        ForEachBlock(Total, Blocks, [&](int64_t Done) {
            // The copy may run ahead to the end of the piece or of the total,
            // whichever comes first, never beyond.
            const int64_t Before = Done - 1;
            const int64_t BlocksToTotal = (Total - Before * BlockSize + BlockSize - 1) / BlockSize;
            Block = InputFile.BlockCopy(
                OutputFile, BlockSize,
                std::min(SplitSize - Before % SplitSize, std::max<int64_t>(BlocksToTotal, 1)));
            if (Hasher.Running()) {
                Hasher.Advance(Bytes += Block.Written);
                (void)Hasher.Check();
            }
            if (Total <= Done * BlockSize || Block.Read != BlockSize || Block.Read != Block.Written)
                return false;
            if (Done % SplitSize == 0) {
                OutputFile.Close();
                CreatePiece(++Piece, RunFiles);
                if (Hasher.Running()) {
                    Hasher.EndPiece();
                    Hasher.BeginPiece(InputFile, Bytes);
                }
            }
            return true;
        });
        if (Block.Read != Block.Written)
            throw EParvoxError(txtNotEnoughSpace);
        OutputFile.Close();
        ReportStoring();
        if (Hasher.Running()) {
            (void)Hasher.Finish();
            Sums = WriteSums(Piece, Hasher);
        }
        InputFile.Close();
        CheckNothingFollows(Piece, Removals);
        OutputFile.Store();
        EndIfStopRequested();
    };
    // Pieces of a split that did not end would pass for a whole set at the next join.
    const auto Undo = [&] {
        Hasher.Abandon();
        OutputFile.CloseQuietly();
        for (size_t Written = 1; Written < RunFiles.size(); ++Written)
            RemoveWritten(OutputPieceName(static_cast<int64_t>(Written)), RunFiles[Written]);
        if (Sums)
            RemoveWritten(PiecesBaseName() + ".sha256", *Sums);
    };
    UndoneOnFailure(Run, Undo, txtPieceTooLarge);
}
