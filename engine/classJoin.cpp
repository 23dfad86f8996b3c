// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join run: the set is decided and taken down before anything is
// written (every piece opened and measured, the checksum file and the
// recovery files read), then the copy goes into a temporary name, the checks
// follow with what the recovery data rebuilds, and the joined file takes its
// name only once it is stored.
#include "classJoin.h"

#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "classRunFolder.h"
#include "txt.h"

#include <algorithm>
#include <limits>
#include <sys/stat.h>

int64_t TJoin::TotalSize() {
    CheckBaseFileName();
    Recovery.reset();
    Sources.Rebuildable = nullptr;
    Sources.Begin(BaseFileName, PieceFolders, AskForPiece, [this] { EndIfStopRequested(); });
    // The recovery files in any folder of the pieces: the set is as many
    // pieces as they describe, and one that is nowhere may be rebuilt. With
    // no one to ask, each is looked for now, and the recovery data decides.
    auto Beside = std::make_unique<TJoinRecovery>();
    if (Beside->Load(Sources.Folders(), BareName(BaseFileName))) {
        Recovery = std::move(Beside);
        Sources.Rebuildable = [this](int64_t Piece) {
            return AskForPiece ? Recovery->CanRebuild(Piece) : Recovery->Length(Piece) >= 0;
        };
        Sources.Expect(Recovery->Pieces());
    }
    const int64_t Now = Recovery && !AskForPiece ? Sources.Count() : Sources.Found();
    for (int64_t Piece = 1; Piece <= Now; ++Piece) {
        Sources.Reach(Piece);
        Found(Piece);
    }
    return Sources.Total();
}

void TJoin::Found(int64_t Piece) {
    if (!Recovery)
        return;
    const std::string Path = Sources.Path(Piece);
    struct stat Status {};
    Recovery->Found(Piece, Path,
                    Path.empty() || ::stat(Path.c_str(), &Status) != 0 ? -1 : Status.st_size);
}

int64_t TJoin::JoinedBytes() const {
    return Recovery ? std::max(Recovery->Bytes(), Sources.Least()) : Sources.Least();
}

void TJoin::Repair(TPieceSums& Sums, const std::string& Temporary) {
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
    const int64_t Total = Joined.FileSize();
    TPieceHasher Hasher;
    Sums.StartChecks(Hasher);
    constexpr int64_t Step = 16 << 20;
    int64_t Done = 0;
    for (int64_t Piece = 1; Piece <= Sources.Count(); ++Piece) {
        int64_t Length = Recovery->Length(Piece);
        if (Length < 0) {
            TByteFile Beyond;
            Beyond.Assign(Sources.Path(Piece));
            Beyond.Reset();
            Length = Beyond.FileSize();
        }
        Hasher.BeginPiece(Joined, Done);
        for (const int64_t End = Done + Length; Done < End;) {
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
    (void)TotalSize();
    const int64_t Pieces = Sources.Count();
    // Where pieces are still to come from other media, all that can be
    // checked now is what the set takes at least.
    const bool Whole = Sources.Reached() == Pieces;
    const int64_t Least = JoinedBytes();
    // A missing or extra piece, or a checksum file that cannot be read,
    // refuses the join before anything is written; so do missing and short
    // pieces beyond what the recovery data rebuilds.
    TPieceSums Sums;
    Sums.Load(Sources.SumsBase(), Pieces, Whole ? Least : -1);
    Sums.PieceShown = [this](int64_t Piece) { return Sources.Shown(Piece); };
    Quitting = false;
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
    // A set picked by its recovery files may have its first piece on another
    // medium: it is asked for now, before anything is written.
    int64_t First = 1;
    for (;; ++First) {
        if (First > Sources.Reached()) {
            Sources.Reach(First);
            Found(First);
        }
        if (!Sources.Path(First).empty())
            break;
    }
    InputFile.Assign(Sources.Path(First));
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
        Sums.StartChecks(Hasher, Recovery ? Recovery->Feed() : TPieceHasher::TFeed());
        // Every read counts as a full block, so the count may pass the total.
        int64_t Blocks = 0;
        int64_t Bytes = 0;
        uint64_t Joining = 0;
        // The pieces copied, and the bytes that they were to give.
        size_t Copied = 0;
        int64_t Planned = 0;
        for (int64_t Piece = 1; Piece <= Pieces; ++Piece) {
            // A piece on a medium that is not in: the digests let go of the
            // one that is, and name its damage, before the question comes.
            if (Piece > Sources.Reached()) {
                Sources.Reach(Piece, [&] {
                    if (Hasher.Running()) {
                        KeepUp(Hasher, TProgressCounts::Checking, true);
                        if (!Recovery)
                            Sums.CheckPieces(Hasher);
                    }
                });
                Found(Piece);
            }
            ReportPiece(Piece, Pieces, Sources.Source(Piece));
            // A piece that the recovery data describes is cut at its length,
            // and one that is missing leaves room that the rebuilding fills.
            const int64_t Length = Recovery ? Recovery->Length(Piece) : -1;
            if (Sources.Path(Piece).empty()) {
                OutputFile.Skip(Length);
                continue;
            }
            if (Piece > First) {
                InputFile.Assign(Sources.Path(Piece));
                InputFile.Reset();
            }
            const struct stat Status = InputFile.Status();
            TPieceSources::AddToPrint(Joining, Status);
            int64_t Left = Length >= 0 ? Length : std::numeric_limits<int64_t>::max();
            Planned += std::min<int64_t>(Left, Status.st_size);
            if (Hasher.Running()) {
                KeepUp(Hasher);
                if (Recovery)
                    Recovery->Copying(Copied, Piece);
                Hasher.BeginPiece(InputFile, 0);
            }
            ++Copied;
            ForEachBlock(Recovery ? Least : Sources.Expected(), Blocks, [&](int64_t) {
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
        if (Joining != Sources.Print() || Bytes != (Recovery ? Planned : Sources.Total()) ||
            Sources.Has(Pieces + 1))
            throw EParvoxError(TextWith(txtPiecesChanged, {BareName(GetBaseFileName())}));
        if (Hasher.Running())
            FinishDigests(Hasher);
        if (Recovery && Recovery->Damaged()) {
            Hasher.Abandon();
            Repair(Sums, Folder.TemporaryName(1));
        } else if (Hasher.Running()) {
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
