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

int64_t TJoin::TotalSize() {
    CheckBaseFileName();
    Sources.Begin(BaseFileName, PieceFolders, AskForPiece, [this] { EndIfStopRequested(); });
    for (int64_t Piece = 1; Piece <= Sources.Found(); ++Piece)
        Sources.Reach(Piece);
    return Sources.Total();
}

void TJoin::Execute() {
    Checked.clear();
    Joined = 0;
    (void)TotalSize();
    const int64_t Pieces = Sources.Count();
    // Where pieces are still to come from other media, all that can be
    // checked now is what the set takes at least.
    const bool Whole = Sources.Reached() == Pieces;
    const int64_t Least = Sources.Least();
    // A missing or extra piece, or a checksum file that cannot be read,
    // refuses the join before anything is written.
    TPieceSums Sums;
    Sums.Load(Sources.SumsBase(), Pieces, Whole ? Least : -1);
    Sums.PieceShown = [this](int64_t Piece) { return Sources.Shown(Piece); };
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    // Decided now: the previous output under the base name must not be replaced.
    const std::string OutputName = JoinedFileName();
    TRunFolder Folder(FolderOf(OutputName));
    Folder.CheckNameLength(OutputName);
    const std::optional<TFileId> Earlier = Folder.Replaceable(OutputName);
    InputFile.Assign(Sources.Path(1));
    InputFile.Reset();
    // A set larger than the output's file system holds (a FAT stick takes
    // files below 4 GiB) would otherwise fail only once that much is written.
    if (!InputFile.FolderHolds(OutputName, Least))
        throw EParvoxError(txtOutputTooLarge);
    const int64_t Allocated = Sources.Allocated();
    Folder.CheckRoom(Whole && Allocated < Least ? Allocated : Folder.Footprint(Least), 0, InputFile,
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
            // A piece on a medium that is not in: the digests let go of the
            // one that is, and name its damage, before the question comes.
            if (Piece > Sources.Reached())
                Sources.Reach(Piece, [&] {
                    if (Hasher.Running()) {
                        KeepUp(Hasher, true);
                        Sums.CheckPieces(Hasher);
                    }
                });
            ReportPiece(Piece, Pieces, Sources.Source(Piece));
            if (Piece > 1) {
                InputFile.Assign(Sources.Path(Piece));
                InputFile.Reset();
            }
            TPieceSources::AddToPrint(Joining, InputFile.Status());
            if (Hasher.Running()) {
                KeepUp(Hasher);
                Hasher.BeginPiece(InputFile, 0);
            }
            ForEachBlock(Sources.Expected(), Blocks, [&](int64_t) {
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
        if (Joining != Sources.Print() || Bytes != Sources.Total() || Sources.Has(Pieces + 1))
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
