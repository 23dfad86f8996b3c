// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join run: the set is decided and taken down before anything is
// written (every piece opened and measured, the checksum file read), then
// the copy goes into a temporary name, the checks follow, and the joined
// file takes its name only once it is stored.
#include "classJoin.h"

#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "classRunFolder.h"
#include "txt.h"

#include <limits>

void TJoin::AddToPrint(uint64_t& Print, const struct stat& Piece) {
    for (const auto Value :
         {static_cast<uint64_t>(Piece.st_dev), static_cast<uint64_t>(Piece.st_ino),
          static_cast<uint64_t>(Piece.st_size), static_cast<uint64_t>(Piece.st_mtim.tv_sec),
          static_cast<uint64_t>(Piece.st_mtim.tv_nsec), static_cast<uint64_t>(Piece.st_ctim.tv_sec),
          static_cast<uint64_t>(Piece.st_ctim.tv_nsec)}) {
        Print = (Print ^ Value) * 0x9E37'79B9'7F4A'7C15U;
        Print ^= Print >> 29;
    }
}

int64_t TJoin::TotalSize() {
    Pieces = 0;
    Print = 0;
    Allocated = 0;
    int64_t Total = 0;
    ForEachPiece([this, &Total](int64_t Piece) {
        TByteFile PieceFile;
        PieceFile.Assign(PieceFileName(Piece));
        PieceFile.Reset();
        const struct stat File = PieceFile.Status();
        // No file system holds a file beyond the largest file size.
        if (__builtin_add_overflow(Total, File.st_size, &Total))
            throw EParvoxError(txtOutputTooLarge);
        Allocated += File.st_blocks * 512;
        AddToPrint(Print, File);
        ++Pieces;
        PieceFile.Close();
    });
    return Total;
}

void TJoin::Execute() {
    Checked.clear();
    Joined = 0;
    const int64_t Total = TotalSize();
    // A missing or extra piece, or a checksum file that cannot be read,
    // refuses the join before anything is written.
    TPieceSums Sums;
    Sums.Load(GetBaseFileName(), Pieces, Total);
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    // Decided now: the previous output under the base name must not be replaced.
    const std::string OutputName = JoinedFileName();
    TRunFolder Folder(FolderOf(OutputName));
    Folder.CheckNameLength(OutputName);
    const std::optional<TFileId> Earlier = Folder.Replaceable(OutputName);
    InputFile.Assign(PieceFileName(1));
    InputFile.Reset();
    // A set larger than the output's file system holds (a FAT stick takes
    // files below 4 GiB) would otherwise fail only once that much is written.
    if (!InputFile.FolderHolds(OutputName, Total))
        throw EParvoxError(txtOutputTooLarge);
    Folder.CheckRoom(Allocated < Total ? Allocated : Folder.Footprint(Total), 0, InputFile,
                     txtJoinedNeeds);
    // From here on the run changes what is on the disk.
    Folder.Begin();
    OutputFile.Assign(Folder.TemporaryName(1), OutputName);
    TFileId Output;
    bool Published = false;
    TPieceHasher Hasher;
    const auto Run = [&] {
        OutputFile.Create(InputFile.Permissions());
        Output = OutputFile.Id();
        Sums.StartChecks(Hasher);
        // Every read counts as a full block, so the count may pass the total.
        int64_t Blocks = 0;
        int64_t Bytes = 0;
        uint64_t Joining = 0;
        for (int64_t Piece = 1; Piece <= Pieces; ++Piece) {
            ReportPiece(Piece, Pieces);
            if (Piece > 1) {
                InputFile.Assign(PieceFileName(Piece));
                InputFile.Reset();
            }
            AddToPrint(Joining, InputFile.Status());
            if (Hasher.Running()) {
                KeepUp(Hasher);
                Hasher.BeginPiece(InputFile, 0);
            }
            ForEachBlock(Total, Blocks, [&](int64_t) {
                const TBlockCounts Block =
                    InputFile.BlockCopy(OutputFile, BlockSize, std::numeric_limits<int64_t>::max());
                if (Block.Written != Block.Read)
                    throw EParvoxError(txtDestinationFull +
                                       EInOutError::FileLine(Block.Error, OutputFile.ShownName()));
                Bytes += Block.Read;
                if (Hasher.Running()) {
                    Hasher.Advance(Bytes);
                    Sums.CheckPieces(Hasher);
                    KeepUp(Hasher);
                }
                return Block.Read == BlockSize;
            });
            if (Hasher.Running())
                Hasher.EndPiece();
            InputFile.Close();
        }
        // The set joined is the set that was found and checked: no piece
        // replaced, grown or cut meanwhile, and none added after the last.
        if (Joining != Print || Bytes != Total || PieceExists(Pieces + 1))
            throw EParvoxError(TextWith(txtPiecesChanged, {BareName(GetBaseFileName())}));
        OutputFile.Close();
        if (Hasher.Running()) {
            FinishDigests(Hasher);
            Sums.CheckWhole(Hasher);
        }
        ReportPhase(TProgressCounts::Storing);
        OutputFile.Store();
        Folder.Publish(1, OutputName, Earlier);
        Published = true;
        OutputFile.StoreNames(Folder.Fd());
        EndIfStopRequested();
    };
    // A join that did not end leaves no output that could pass for the whole file.
    const auto Undo = [&](TLeft& Left) {
        Hasher.Abandon();
        OutputFile.CloseQuietly();
        if (Published)
            RemoveWrittenOrLeave(OutputName, Output, Left);
        else
            RemoveOrLeave(Folder.TemporaryName(1), Left);
    };
    UndoneOnFailure(Run, Undo, txtOutputTooLarge, txtDestinationFull);
    Checked = Sums.Summary();
    Joined = Pieces;
}
