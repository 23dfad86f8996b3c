// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join run: every piece is opened and measured before the output is
// created, so an unreadable piece or a set too large for the output's drive
// never truncates an earlier output.
#include "classJoin.h"

#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "txt.h"

#include <cerrno>
#include <limits>

int64_t TJoin::TotalSize() {
    PieceFiles.clear();
    int64_t Total = 0;
    ForEachPiece([this, &Total](int64_t Piece) {
        TByteFile PieceFile;
        PieceFile.Assign(PieceFileName(Piece));
        PieceFile.Reset();
        // No file system holds a file beyond the largest file size.
        if (__builtin_add_overflow(Total, PieceFile.FileSize(), &Total))
            throw EParvoxError(txtOutputTooLarge);
        PieceFiles.push_back(PieceFile.Id());
        PieceFile.Close();
    });
    return Total;
}

void TJoin::Execute() {
    Checked.clear();
    const int64_t Total = TotalSize();
    std::vector<std::string> Names;
    for (size_t Piece = 1; Piece <= PieceFiles.size(); ++Piece)
        Names.push_back(TPieceSums::BareName(PieceFileName(static_cast<int64_t>(Piece))));
    // A missing or extra piece, or a checksum file that cannot be read,
    // refuses the join before anything is written.
    TPieceSums Sums;
    Sums.Load(GetBaseFileName(), Names, Total);
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    InputFile.Assign(PieceFileName(1));
    // Decided now: the previous output under the base name must not be overwritten.
    const std::string OutputName = JoinedFileName();
    OutputFile.Assign(OutputName);
    InputFile.Reset();
    // A set larger than the output's file system holds (a FAT stick takes
    // files below 4 GiB) would otherwise fail only once that much is written.
    if (!InputFile.FolderHolds(OutputName, Total))
        throw EParvoxError(txtOutputTooLarge);
    // An output name that leads to one of the pieces (a link) would cut that
    // piece before it is read; it is refused before anything is written.
    OutputFile.Rewrite(InputFile.Permissions(), PieceFiles);
    const TFileId Output = OutputFile.Id();
    TPieceHasher Hasher;
    const auto Run = [&] {
        Sums.StartChecks(Hasher);
        // Every read counts as a full block, so the count may pass the total.
        int64_t Blocks = 0;
        int64_t Bytes = 0;
        ForEachPiece([&](int64_t Piece) {
            ReportPiece(Piece, static_cast<int64_t>(PieceFiles.size()));
            if (Piece > 1) {
                InputFile.Assign(PieceFileName(Piece));
                InputFile.Reset();
            }
            if (Hasher.Running())
                Hasher.BeginPiece(InputFile, 0);
            ForEachBlock(Total, Blocks, [&](int64_t) {
                const TBlockCounts Block =
                    InputFile.BlockCopy(OutputFile, BlockSize, std::numeric_limits<int64_t>::max());
                if (Block.Written != Block.Read)
                    throw EParvoxError(txtDestinationFull);
                if (Hasher.Running()) {
                    Hasher.Advance(Bytes += Block.Read);
                    Sums.CheckPieces(Hasher);
                }
                return Block.Read == BlockSize;
            });
            if (Hasher.Running())
                Hasher.EndPiece();
            InputFile.Close();
        });
        OutputFile.Close();
        Sums.CheckWhole(Hasher);
        ReportStoring();
        OutputFile.Store();
        EndIfStopRequested();
    };
    // A join that did not end leaves no output that could pass for the whole file.
    const auto Undo = [&] {
        Hasher.Abandon();
        OutputFile.CloseQuietly();
        RemoveWritten(OutputName, Output);
    };
    UndoneOnFailure(Run, Undo, txtOutputTooLarge);
    Checked = Sums.Summary();
}
