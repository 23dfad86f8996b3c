// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: every check comes before anything changes, then the earlier
// set goes, then the pieces are written under temporary names, and only once
// they are stored do they take their names, the first piece last.
#include "classSplit.h"

#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>

std::string TSplit::OutputPieceName(int64_t Piece) const {
    CheckBaseFileName();
    return PiecesBaseName() + PieceExtension(Piece);
}

std::string TSplit::SumsName() const {
    return PiecesBaseName() + ".sha256";
}

void TSplit::CheckSplitSize() const {
    if (SplitSize < 1)
        throw EParvoxError("Invalid split file size: " + std::to_string(SplitSize));
}

int64_t TSplit::PiecesFor(int64_t FileSize, int64_t SplitSize) {
    const int64_t Blocks = (FileSize + BlockSize - 1) / BlockSize;
    return std::max<int64_t>((Blocks + SplitSize - 1) / SplitSize, 1);
}

std::string TSplit::PiecesBaseName() const {
    return OutputBaseName();
}

std::string TSplit::ForeignChecksumFile() const {
    const std::string Name = SumsName();
    if (!FileExists(Name))
        return {};
    return TPieceSums::IsTheSets(Name, BareName(PiecesBaseName()), PieceCount(PiecesBaseName()))
               ? std::string()
               : Name;
}

TSplit::TEarlier TSplit::FindEarlierSet() const {
    TEarlier Earlier;
    for (;;) {
        const std::string Name = OutputPieceName(Earlier.Pieces + 1);
        const std::optional<struct stat> Entry = EntryStatus(Name);
        if (!Entry)
            break;
        // A folder or a device under a piece's name is no piece of Parvox's.
        if (!S_ISREG(Entry->st_mode) && !S_ISLNK(Entry->st_mode))
            throw EParvoxError(
                TextWith(txtInTheWay, {BareName(Name), BareName(GetBaseFileName())}));
        // The input's own and only name (the base name, or the output
        // folder's name, a link to it): its removal would lose the data.
        if (InputFile.IsOnlyName(Name))
            throw EInOutError(EINVAL, Name);
        if (S_ISREG(Entry->st_mode) && Entry->st_nlink == 1)
            Earlier.Bytes += Entry->st_blocks * 512;
        ++Earlier.Pieces;
    }
    const std::string Sums = SumsName();
    if (const std::optional<struct stat> Entry = EntryStatus(Sums)) {
        Earlier.Sums = !InputFile.IsOnlyName(Sums) &&
                       TPieceSums::IsTheSets(Sums, BareName(PiecesBaseName()), Earlier.Pieces);
        if (!Earlier.Sums && WriteChecksumFile)
            throw EParvoxError(
                TextWith(txtForeignSums, {BareName(Sums), BareName(GetBaseFileName())}));
        if (Earlier.Sums)
            Earlier.Bytes += Entry->st_blocks * 512;
    }
    return Earlier;
}

void TSplit::CheckNothingInTheWay(const TRunFolder& Folder, int64_t From, int64_t To) const {
    if (To <= From)
        return;
    // One look at the folder, however many pieces: a file there under the
    // name of a new piece, or of the one after the last, which a join would
    // take as well, is no piece of the earlier set.
    const std::string Base = BareName(PiecesBaseName());
    int64_t First = 0;
    Folder.ForEachEntry([&](const std::string& Entry) {
        const int64_t Piece = PieceNumberOf(Entry, Base);
        if (Piece > From && Piece <= To && (First == 0 || Piece < First))
            First = Piece;
    });
    if (First > 0)
        throw EParvoxError(
            TextWith(txtInTheWay, {BareName(OutputPieceName(First)), BareName(GetBaseFileName())}));
}

TSplit::TEarlier TSplit::CheckOutputs(const TRunFolder& Folder, int64_t Pieces, int64_t Total,
                                      int64_t Allocated) const {
    // The longest names: the last piece's, and the checksum file's. The
    // temporary names are shorter than any.
    Folder.CheckNameLength(OutputPieceName(Pieces));
    if (WriteChecksumFile)
        Folder.CheckNameLength(SumsName());
    const TEarlier Earlier = FindEarlierSet();
    CheckNothingInTheWay(Folder, Earlier.Pieces, Pieces + 1);
    int64_t PieceBytes = Total;
    if (!__builtin_mul_overflow(SplitSize, int64_t{BlockSize}, &PieceBytes))
        PieceBytes = std::min(PieceBytes, Total);
    // A FAT stick takes files below 4 GiB: a larger piece would fail only
    // once that much of it is written.
    if (!InputFile.FolderHolds(OutputPieceName(1), PieceBytes))
        throw EParvoxError(txtPieceTooLarge);
    // Each piece takes whole blocks; a sparse input may take less than its
    // size, and then its pieces may too.
    int64_t Needed = Folder.Footprint(Total - (Pieces - 1) * PieceBytes);
    int64_t FullPieces = 0;
    if (__builtin_mul_overflow(Pieces - 1, Folder.Footprint(PieceBytes), &FullPieces) ||
        __builtin_add_overflow(Needed, FullPieces, &Needed) || Allocated < Total)
        Needed = std::min(Allocated, Total);
    if (WriteChecksumFile)
        Needed += Folder.Footprint((Pieces + 1) *
                                   static_cast<int64_t>(68 + 2 * OutputPieceName(Pieces).size()));
    Folder.CheckRoom(Needed, Earlier.Bytes, InputFile, txtPiecesNeed);
    return Earlier;
}

void TSplit::RemoveEarlierSet(const TEarlier& Earlier) const {
    if (Earlier.Pieces == 0 && !Earlier.Sums)
        return;
    ReportPhase(TProgressCounts::Removing);
    const auto Remove = [](const std::string& Name) {
        if (const int Error = RemoveFile(Name); Error != 0)
            throw EInOutError(Error, Name);
    };
    // The checksum file first: it never describes a set cut short. Then the
    // pieces from the first on, up to one that will not go: what is left is
    // the whole set, or has no first piece and passes for no set.
    if (Earlier.Sums)
        Remove(SumsName());
    for (int64_t Piece = 1; Piece <= Earlier.Pieces; ++Piece)
        Remove(OutputPieceName(Piece));
    ReportPhase(TProgressCounts::Copying);
}

void TSplit::CreatePiece(const TRunFolder& Folder, int64_t Piece, int64_t Pieces,
                         mode_t Permissions, std::vector<ino_t>& Written) {
    OutputFile.Assign(Folder.TemporaryName(static_cast<uint64_t>(Piece)), OutputPieceName(Piece));
    // Counted before it is made: a run that fails while it makes it removes it too.
    Written.push_back(0);
    OutputFile.Create(Permissions);
    Written.back() = OutputFile.Status().st_ino;
    ReportPiece(Piece, Pieces);
}

void TSplit::Execute() {
    LastMade = {};
    CheckBaseFileName();
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    InputFile.Assign(GetBaseFileName());
    InputFile.Reset();
    const struct stat Start = InputFile.Status();
    const int64_t Total = Start.st_size;
    const mode_t Permissions = Start.st_mode & 0777;
    CheckSplitSize();
    const int64_t Pieces = PiecesFor(Total, SplitSize);
    TRunFolder Folder(FolderOf(PiecesBaseName()));
    const TEarlier Earlier = CheckOutputs(Folder, Pieces, Total, Start.st_blocks * 512);
    // From here on the run changes what is on the disk.
    Folder.Begin();
    RemoveEarlierSet(Earlier);
    TPieceHasher Hasher;
    TPieceSums Sums;
    TByteFile SumsFile;
    // Each piece's file, as made, by number; the pieces that have their
    // final names, counted from the last; the checksum file, once it has its.
    std::vector<ino_t> Written;
    dev_t Device = 0;
    int64_t Published = 0;
    std::optional<TFileId> SumsPublished;
    const auto Run = [&] {
        int64_t Piece = 1;
        CreatePiece(Folder, Piece, Pieces, Permissions, Written);
        Device = OutputFile.Status().st_dev;
        if (WriteChecksumFile) {
            SumsFile.Assign(Folder.TemporaryName(TRunFolder::SumsNumber), SumsName());
            SumsFile.Create(Permissions, true);
            Sums.StartWriting(SumsFile, BareName(PiecesBaseName()));
            Hasher.Start(true, TPieceHasher::TAlgorithm::Sha256,
                         TextWith(txtSourceChanged, {BareName(GetBaseFileName())}));
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
            Bytes += Block.Written;
            if (Hasher.Running()) {
                Hasher.Advance(Bytes);
                Hasher.Check();
                Sums.WritePieces(Hasher);
                KeepUp(Hasher);
            }
            if (Total <= Done * BlockSize || Block.Read != BlockSize || Block.Read != Block.Written)
                return false;
            if (Done % SplitSize == 0) {
                OutputFile.Close();
                CreatePiece(Folder, ++Piece, Pieces, Permissions, Written);
                if (Hasher.Running()) {
                    Hasher.EndPiece();
                    Hasher.BeginPiece(InputFile, Bytes);
                }
            }
            return true;
        });
        if (Block.Read != Block.Written)
            throw EParvoxError(txtNotEnoughSpace +
                               EInOutError::FileLine(Block.Error, OutputFile.ShownName()));
        OutputFile.Close();
        // Pieces of a file that changed meanwhile would hold no file that ever was.
        const struct stat End = InputFile.Status();
        if (Bytes != Total || End.st_size != Start.st_size ||
            End.st_mtim.tv_sec != Start.st_mtim.tv_sec ||
            End.st_mtim.tv_nsec != Start.st_mtim.tv_nsec ||
            End.st_ctim.tv_sec != Start.st_ctim.tv_sec ||
            End.st_ctim.tv_nsec != Start.st_ctim.tv_nsec)
            throw EParvoxError(TextWith(txtSourceChanged, {BareName(GetBaseFileName())}));
        if (Hasher.Running()) {
            FinishDigests(Hasher);
            Sums.FinishWriting(Hasher);
        }
        InputFile.Close();
        ReportPhase(TProgressCounts::Storing);
        OutputFile.Store(WriteChecksumFile ? &SumsFile : nullptr);
        // The checksum file first and the first piece last: a run that ends
        // among these leaves no set that starts at .001.
        if (WriteChecksumFile) {
            const TFileId Id = SumsFile.Id();
            SumsFile.Close();
            Folder.Publish(TRunFolder::SumsNumber, SumsName());
            SumsPublished = Id;
        }
        for (; Published < Piece; ++Published)
            Folder.Publish(static_cast<uint64_t>(Piece - Published),
                           OutputPieceName(Piece - Published));
        OutputFile.StoreNames(Folder.Fd());
        EndIfStopRequested();
    };
    // Pieces of a split that did not end would pass for a whole set at the next join.
    const auto Undo = [&](TLeft& Left) {
        Hasher.Abandon();
        OutputFile.CloseQuietly();
        SumsFile.CloseQuietly();
        const auto Made = static_cast<int64_t>(Written.size());
        for (int64_t Piece = 1; Piece <= Made; ++Piece) {
            if (Piece > Made - Published)
                RemoveWrittenOrLeave(OutputPieceName(Piece),
                                     {Device, Written[static_cast<size_t>(Piece - 1)]}, Left);
            else
                RemoveOrLeave(Folder.TemporaryName(static_cast<uint64_t>(Piece)), Left);
        }
        if (SumsPublished)
            RemoveWrittenOrLeave(SumsName(), *SumsPublished, Left);
        else if (WriteChecksumFile)
            RemoveOrLeave(Folder.TemporaryName(TRunFolder::SumsNumber), Left);
    };
    UndoneOnFailure(Run, Undo, txtPieceTooLarge, txtNotEnoughSpace);
    LastMade = {Pieces, WriteChecksumFile ? BareName(SumsName()) : std::string(), Folder.Name()};
}
