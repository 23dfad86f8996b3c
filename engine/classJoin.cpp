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
    ToCopy = 0;
    CheckBaseFileName();
    Recovery = std::make_unique<TJoinRecovery>();
    if (!Recovery->Load({FolderOf(BaseFileName)}, BareName(BaseFileName)))
        Recovery.reset();
    // The pieces that the recovery data describes, missing ones too, and
    // any that follow them without a gap.
    const int64_t Described = Recovery ? Recovery->Pieces() : 0;
    int64_t Total = 0;
    for (int64_t Piece = 1; Piece <= Described || PieceExists(Piece); ++Piece) {
        const int64_t Length = Recovery ? Recovery->Length(Piece) : -1;
        int64_t Joined = Length;
        if (!PieceExists(Piece)) {
            Recovery->Found(Piece, {}, -1, Total);
        } else {
            TByteFile PieceFile;
            PieceFile.Assign(PieceFileName(Piece));
            PieceFile.Reset();
            const struct stat File = PieceFile.Status();
            if (Piece <= Described)
                Recovery->Found(Piece, PieceFileName(Piece), File.st_size, Total);
            // A piece longer than the recovery data says is joined as it says.
            if (Length < 0)
                Joined = File.st_size;
            ToCopy += std::min<int64_t>(Joined, File.st_size);
            Allocated += File.st_blocks * 512;
            AddToPrint(Print, File);
            PieceFile.Close();
        }
        // No file system holds a file beyond the largest file size.
        if (__builtin_add_overflow(Total, Joined, &Total))
            throw EParvoxError(txtOutputTooLarge);
        Pieces = Piece;
    }
    return Total;
}

void TJoin::Repair(TPieceSums& Sums, const std::string& Temporary, int64_t Total) {
    ReportPhase(TProgressCounts::Rebuilding, Recovery->Damage());
    Recovery->Rebuild([this](int64_t Offset, std::span<const uint8_t> Bytes) {
        OutputFile.WriteAt(Bytes.data(), Bytes.size(), Offset);
    });
    // The joined file read back as a whole, rebuilt slices and all: against
    // the checksum file, or else the recovery data's own digests of its slices.
    ReportPhase(TProgressCounts::Verifying);
    if (!Sums.Loaded()) {
        Recovery->CheckJoined(Temporary);
        return;
    }
    TByteFile Joined;
    Joined.Assign(Temporary, OutputFile.ShownName());
    Joined.Reset();
    TPieceHasher Hasher;
    Sums.StartChecks(Hasher);
    constexpr int64_t Step = 16 << 20;
    int64_t Done = 0;
    for (int64_t Piece = 1; Piece <= Pieces; ++Piece) {
        int64_t Length = Recovery->Length(Piece);
        if (Length < 0) {
            TByteFile Beyond;
            Beyond.Assign(PieceFileName(Piece));
            Beyond.Reset();
            Length = Beyond.FileSize();
        }
        Hasher.BeginPiece(Joined, Done);
        for (int64_t End = Done + Length; Done < End;) {
            Done = std::min(End, Done + Step);
            ReportBytes(Done, Total);
            Hasher.Advance(Done);
            Hasher.Check();
            KeepUp(Hasher, TProgressCounts::Verifying);
            EndIfStopRequested();
        }
        Hasher.EndPiece();
    }
    FinishDigests(Hasher, TProgressCounts::Verifying);
    Sums.CheckWhole(Hasher);
}

void TJoin::Execute() {
    Checked.clear();
    Joined = 0;
    Quitting = false;
    const int64_t Total = TotalSize();
    // A missing or extra piece, or a checksum file that cannot be read,
    // refuses the join before anything is written; so do missing and short
    // pieces beyond what the recovery data rebuilds.
    TPieceSums Sums;
    Sums.Load(GetBaseFileName(), Pieces, Total);
    if (Recovery)
        Recovery->CheckUpFront(Counts, [this] { return Quitting.load() || StopPending(); });
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    // Decided now: the previous output under the base name must not be replaced.
    const std::string OutputName = JoinedFileName();
    TRunFolder Folder(FolderOf(OutputName));
    Folder.CheckNameLength(OutputName);
    const std::optional<TFileId> Earlier = Folder.Replaceable(OutputName);
    // The first piece at hand: the first, unless the recovery data rebuilds it.
    int64_t First = 1;
    while (Recovery && First < Pieces && !Recovery->Present(First))
        ++First;
    InputFile.Assign(PieceFileName(First));
    InputFile.Reset();
    // A set larger than the output's file system holds (a FAT stick takes
    // files below 4 GiB) would otherwise fail only once that much is written.
    if (!InputFile.FolderHolds(OutputName, Total))
        throw EParvoxError(txtOutputTooLarge);
    Folder.CheckRoom(Allocated < Total && !Recovery ? Allocated : Folder.Footprint(Total), 0,
                     InputFile, txtJoinedNeeds);
    // From here on the run changes what is on the disk.
    Folder.Begin();
    OutputFile.Assign(Folder.TemporaryName(1), OutputName);
    TFileId Output;
    bool Published = false;
    TPieceHasher Hasher;
    const auto Run = [&] {
        OutputFile.Create(InputFile.Permissions());
        Output = OutputFile.Id();
        Sums.StartChecks(Hasher, Recovery ? Recovery->Feed() : TPieceHasher::TFeed());
        // Every read counts as a full block, so the count may pass the total.
        int64_t Blocks = 0;
        int64_t Bytes = 0;
        uint64_t Joining = 0;
        for (int64_t Piece = 1; Piece <= Pieces; ++Piece) {
            ReportPiece(Piece, Pieces);
            // A piece that the recovery data describes is cut at its length,
            // and one that is missing leaves room that the rebuilding fills.
            const int64_t Length = Recovery ? Recovery->Length(Piece) : -1;
            if (Recovery && !Recovery->Present(Piece)) {
                OutputFile.Skip(Length);
                continue;
            }
            if (Piece > First) {
                InputFile.Assign(PieceFileName(Piece));
                InputFile.Reset();
            }
            AddToPrint(Joining, InputFile.Status());
            if (Hasher.Running()) {
                KeepUp(Hasher);
                Hasher.BeginPiece(InputFile, 0);
            }
            int64_t Left = Length >= 0 ? Length : std::numeric_limits<int64_t>::max();
            ForEachBlock(ToCopy, Blocks, [&](int64_t) {
                if (Left == 0)
                    return false;
                const auto Count = static_cast<int32_t>(std::min<int64_t>(BlockSize, Left));
                const TBlockCounts Block =
                    InputFile.BlockCopy(OutputFile, Count, (Left - 1) / BlockSize + 1);
                if (Block.Written != Block.Read)
                    throw EParvoxError(txtDestinationFull +
                                       EInOutError::FileLine(Block.Error, OutputFile.ShownName()));
                Bytes += Block.Read;
                Left -= Block.Read;
                if (Hasher.Running()) {
                    Hasher.Advance(Bytes);
                    // With recovery data, a damaged piece is rebuilt, not refused.
                    if (Recovery)
                        Hasher.Check();
                    else
                        Sums.CheckPieces(Hasher);
                    KeepUp(Hasher);
                }
                return Block.Read == BlockSize && Left > 0;
            });
            if (Hasher.Running())
                Hasher.EndPiece();
            InputFile.Close();
        }
        // The set joined is the set that was found and checked: no piece
        // replaced, grown or cut meanwhile, and none added after the last.
        if (Joining != Print || Bytes != ToCopy || PieceExists(Pieces + 1))
            throw EParvoxError(TextWith(txtPiecesChanged, {BareName(GetBaseFileName())}));
        if (Hasher.Running())
            FinishDigests(Hasher);
        if (Recovery && Recovery->Damaged()) {
            Hasher.Abandon();
            Repair(Sums, Folder.TemporaryName(1), Total);
        } else {
            Sums.CheckWhole(Hasher);
        }
        OutputFile.Close();
        ReportPhase(TProgressCounts::Storing);
        OutputFile.Store();
        Folder.Publish(1, OutputName, Earlier);
        Published = true;
        OutputFile.StoreNames(Folder.Fd());
        EndIfStopRequested();
    };
    // A join that did not end leaves no output that could pass for the whole file.
    const auto Undo = [&](TLeft& Left) {
        Quitting = true;
        Hasher.Abandon();
        OutputFile.CloseQuietly();
        if (Published)
            RemoveWrittenOrLeave(OutputName, Output, Left);
        else
            RemoveOrLeave(Folder.TemporaryName(1), Left);
    };
    UndoneOnFailure(Run, Undo, txtOutputTooLarge, txtDestinationFull);
    const std::string Rebuilt = Recovery ? Recovery->Rebuilt() : std::string();
    const std::string Summary = Sums.Loaded() || !Recovery ? Sums.Summary() : Recovery->Summary();
    Checked = Rebuilt.empty() || Summary.empty() ? Rebuilt + Summary : Rebuilt + " " + Summary;
    Joined = Pieces;
}
