// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: every check comes before anything changes, then the earlier
// set goes, then the pieces are written under temporary names, and only once
// they are stored do they take their names, the first piece last.
#include "classSplit.h"

#include "classPar2Packets.h"
#include "classParvoxErrors.h"
#include "classPieceSums.h"
#include "classRecoverySet.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// The recovery files' numbers among a run's outputs: below the checksum file's.
uint64_t RecoveryNumber(size_t Index) {
    return TRunFolder::SumsNumber - 1 - Index;
}

// Whether Entry is where a split of the pieces Base writes its recovery
// files: Base.par2, or a volume Base.vol*.par2.
bool IsRecoveryName(const std::string& Entry, const std::string& Base) {
    return Entry == Base + ".par2" ||
           (Entry.size() > Base.size() + 9 && Entry.starts_with(Base + ".vol") &&
            Entry.ends_with(".par2"));
}

// Closes a handle of the run's own when the scope ends.
struct TCloseFd {
    int Fd;
    ~TCloseFd() { ::close(Fd); }
};

} // namespace

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

std::unique_ptr<TRecoveryEncoder> TSplit::PlanRecovery(const std::string& Base, int64_t Total,
                                                       int64_t SplitSize,
                                                       TRecoveryEncoder::TAmount Amount,
                                                       int64_t Memory) {
    const int64_t Pieces = PiecesFor(Total, SplitSize);
    if (Pieces > TPar2Packets::MostSlices)
        throw EParvoxError(txtTooManyPieces);
    int64_t PieceBytes = Total;
    if (!__builtin_mul_overflow(SplitSize, int64_t{BlockSize}, &PieceBytes))
        PieceBytes = std::min(PieceBytes, Total);
    std::vector<TRecoveryEncoder::TPiece> Made;
    for (int64_t Piece = 1; Piece <= Pieces; ++Piece)
        Made.push_back(
            {Base + PieceExtension(Piece), std::min(PieceBytes, Total - (Piece - 1) * PieceBytes)});
    auto Encoder = std::make_unique<TRecoveryEncoder>(Base, std::move(Made), Amount, Memory);
    if (Encoder->Passes() == 0)
        return nullptr;
    return Encoder;
}

std::string TSplit::SortRecoveryFiles(const TRunFolder& Folder, int64_t Pieces,
                                      std::vector<std::string>& Ours) const {
    const std::string Base = BareName(PiecesBaseName());
    std::vector<std::string> Found;
    Folder.ForEachEntry([&](const std::string& Entry) {
        if (IsRecoveryName(Entry, Base))
            Found.push_back(Entry);
    });
    if (Found.empty())
        return {};
    std::sort(Found.begin(), Found.end());
    // Files of the earlier set describe exactly its pieces, by name and
    // size, and hold nothing of another set: only they are Parvox's to remove.
    TRecoverySet Set;
    bool Describes = false;
    try {
        Describes = Pieces > 0 && Pieces <= TPar2Packets::MostSlices &&
                    Set.Load({Folder.Name()}, Base) &&
                    static_cast<int64_t>(Set.Files().size()) == Pieces;
    } catch (const EParvoxError&) {
        Describes = false;
    }
    for (int64_t Piece = 1; Describes && Piece <= Pieces; ++Piece) {
        const int64_t File = Set.FileNamed(BareName(OutputPieceName(Piece)));
        struct stat Status {};
        Describes = File >= 0 && ::stat(OutputPieceName(Piece).c_str(), &Status) == 0 &&
                    Set.Files()[static_cast<size_t>(File)].Description.Length == Status.st_size;
    }
    std::string Foreign;
    for (const std::string& Entry : Found) {
        bool Own = false;
        for (size_t Source = 0; Describes && Source < Set.Sources().size(); ++Source)
            Own = Own || (BareName(Set.Sources()[Source]) == Entry && Set.OnlyOfTheSet(Source));
        const std::string Name =
            (Folder.Name().back() == '/' ? Folder.Name() : Folder.Name() + "/") + Entry;
        if (Own)
            Ours.push_back(Name);
        else if (Foreign.empty())
            Foreign = Name;
    }
    return Foreign;
}

std::string TSplit::ForeignRecoveryFile() const {
    CheckBaseFileName();
    const TRunFolder Folder(FolderOf(PiecesBaseName()));
    std::vector<std::string> Ours;
    return SortRecoveryFiles(Folder, PieceCount(PiecesBaseName()), Ours);
}

TSplit::TEarlier TSplit::FindEarlierSet(const TRunFolder& Folder) const {
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
    const std::string Foreign = SortRecoveryFiles(Folder, Earlier.Pieces, Earlier.RecoveryFiles);
    if (!Foreign.empty() && Recovery)
        throw EParvoxError(
            TextWith(txtForeignRecovery, {BareName(Foreign), BareName(GetBaseFileName())}));
    for (const std::string& File : Earlier.RecoveryFiles)
        if (const std::optional<struct stat> Entry = EntryStatus(File))
            Earlier.Bytes += Entry->st_blocks * 512;
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
                                      int64_t Allocated, const TRecoveryEncoder* Encoder) const {
    // The longest names: the last piece's, the checksum file's and the
    // recovery files'. The temporary names are shorter than any.
    Folder.CheckNameLength(OutputPieceName(Pieces));
    if (WriteChecksumFile)
        Folder.CheckNameLength(SumsName());
    int64_t Largest = 0;
    int64_t RecoveryRoom = 0;
    for (const TRecoveryEncoder::TOutput& Output :
         Encoder ? Encoder->Outputs() : std::vector<TRecoveryEncoder::TOutput>()) {
        Folder.CheckNameLength(FolderOf(PiecesBaseName()) + "/" + Output.Name);
        Largest = std::max(Largest, Output.Size);
        RecoveryRoom += Folder.Footprint(Output.Size);
    }
    const TEarlier Earlier = FindEarlierSet(Folder);
    CheckNothingInTheWay(Folder, Earlier.Pieces, Pieces + 1);
    int64_t PieceBytes = Total;
    if (!__builtin_mul_overflow(SplitSize, int64_t{BlockSize}, &PieceBytes))
        PieceBytes = std::min(PieceBytes, Total);
    // A FAT stick takes files below 4 GiB: a larger piece would fail only
    // once that much of it is written.
    if (!InputFile.FolderHolds(OutputPieceName(1), std::max(PieceBytes, Largest)))
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
    Folder.CheckRoom(Needed + RecoveryRoom, Earlier.Bytes, InputFile, txtPiecesNeed);
    return Earlier;
}

void TSplit::RemoveEarlierSet(const TEarlier& Earlier) const {
    if (Earlier.Pieces == 0 && !Earlier.Sums && Earlier.RecoveryFiles.empty())
        return;
    ReportPhase(TProgressCounts::Removing);
    const auto Remove = [](const std::string& Name) {
        if (const int Error = RemoveFile(Name); Error != 0)
            throw EInOutError(Error, Name);
    };
    // The checksum file and the recovery files first: they never describe a
    // set cut short. Then the pieces from the first on, up to one that will
    // not go: what is left is the whole set, or has no first piece and
    // passes for no set.
    if (Earlier.Sums)
        Remove(SumsName());
    for (const std::string& File : Earlier.RecoveryFiles)
        Remove(File);
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

void TSplit::ReadInputAt(int Fd, int64_t Offset, uint8_t* Into, size_t Count) const {
    for (size_t Done = 0; Done < Count;) {
        const ssize_t Got = Retried([&] {
            return ::pread(Fd, Into + Done, Count - Done, Offset + static_cast<int64_t>(Done));
        });
        if (Got < 0)
            throw EInOutError(errno, GetBaseFileName());
        if (Got == 0)
            throw EParvoxError(TextWith(txtSourceChanged, {BareName(GetBaseFileName())}));
        Done += static_cast<size_t>(Got);
    }
}

void TSplit::ComputeRecovery(TRecoveryEncoder& Encoder, int Fd, int64_t Total,
                             const TRecoveryEncoder::TWriteFile& Write) const {
    ReportPhase(TProgressCounts::Recovering);
    Encoder.EndPass(Write);
    // The input once more for each pass that the memory of one does not hold.
    constexpr size_t Chunk = 1 << 20;
    std::vector<uint8_t> Bytes(Chunk);
    for (int Pass = 1; Pass < Encoder.Passes(); ++Pass) {
        ReportPhase(TProgressCounts::Recovering,
                    "pass " + std::to_string(Pass + 1) + " of " + std::to_string(Encoder.Passes()));
        Encoder.BeginPass(Pass);
        for (int64_t At = 0; At < Total;) {
            ReportBytes(At, Total);
            EndIfStopRequested();
            const auto Count = static_cast<size_t>(std::min<int64_t>(Total - At, Chunk));
            ReadInputAt(Fd, At, Bytes.data(), Count);
            Encoder.Add(Bytes.data(), Count);
            At += static_cast<int64_t>(Count);
        }
        ReportBytes(Total, Total);
        Encoder.EndPass(Write);
    }
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
    // Declared before the digests' threads, which feed it: it outlives them.
    const std::unique_ptr<TRecoveryEncoder> Encoder =
        Recovery
            ? PlanRecovery(BareName(PiecesBaseName()), Total, SplitSize, *Recovery, RecoveryMemory)
            : nullptr;
    TRunFolder Folder(FolderOf(PiecesBaseName()));
    const TEarlier Earlier =
        CheckOutputs(Folder, Pieces, Total, Start.st_blocks * 512, Encoder.get());
    // From here on the run changes what is on the disk.
    Folder.Begin();
    RemoveEarlierSet(Earlier);
    // The recovery data is read from the input through a handle of its own.
    const TCloseFd Reader{Encoder ? InputFile.Duplicate() : -1};
    std::vector<TRecoveryOutput> RecoveryFiles(Encoder ? Encoder->Outputs().size() : 0);
    const auto WriteRecovery = [&](const std::string& Name,
                                   const std::vector<std::span<const uint8_t>>& Parts) {
        const auto& Outputs = Encoder->Outputs();
        const auto Index =
            static_cast<size_t>(std::find_if(Outputs.begin(), Outputs.end(),
                                             [&Name](const TRecoveryEncoder::TOutput& One) {
                                                 return One.Name == Name;
                                             }) -
                                Outputs.begin());
        TRecoveryOutput& Output = RecoveryFiles.at(Index);
        Output.File = std::make_unique<TByteFile>();
        Output.File->Assign(Folder.TemporaryName(RecoveryNumber(Index)),
                            FolderOf(PiecesBaseName()) + "/" + Name);
        Output.File->Create(Permissions, true);
        Output.Id = Output.File->Id();
        for (const std::span<const uint8_t> Part : Parts)
            Output.File->Write(Part.data(), Part.size());
    };
    // Set once the run ends early, so that the recovery data's work ends too.
    std::atomic<bool> Quitting = false;
    if (Encoder) {
        Encoder->ChangedMessage = TextWith(txtSourceChanged, {BareName(GetBaseFileName())});
        Encoder->StopWanted = [this, &Quitting] { return Quitting.load() || StopPending(); };
    }
    // Waiting for the digests is waiting for the recovery data, where it is computed.
    const TProgressCounts::TPhase Waiting =
        Encoder ? TProgressCounts::Recovering : TProgressCounts::Checking;
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
        }
        if (WriteChecksumFile || Encoder) {
            TPieceHasher::TFeed Feed;
            if (Encoder) {
                Encoder->ReadHeads([&](int64_t Offset, uint8_t* Into, size_t Count) {
                    ReadInputAt(Reader.Fd, Offset, Into, Count);
                });
                Encoder->BeginPass(0);
                Feed.Bytes = [&](size_t, const uint8_t* Bytes, size_t Count) {
                    Encoder->Add(Bytes, Count);
                };
            }
            const std::optional<TPieceHasher::TAlgorithm> Sha256 =
                WriteChecksumFile ? std::optional(TPieceHasher::TAlgorithm::Sha256) : std::nullopt;
            Hasher.Start(Sha256, Sha256, TextWith(txtSourceChanged, {BareName(GetBaseFileName())}),
                         std::move(Feed));
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
                if (WriteChecksumFile)
                    Sums.WritePieces(Hasher);
                KeepUp(Hasher, Waiting);
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
        if (Bytes != Total)
            throw EParvoxError(TextWith(txtSourceChanged, {BareName(GetBaseFileName())}));
        if (Hasher.Running()) {
            FinishDigests(Hasher, Waiting);
            if (WriteChecksumFile)
                Sums.FinishWriting(Hasher);
        }
        if (Encoder)
            ComputeRecovery(*Encoder, Reader.Fd, Total, WriteRecovery);
        // Pieces of a file that changed meanwhile would hold no file that ever was.
        const struct stat End = InputFile.Status();
        if (End.st_size != Start.st_size || End.st_mtim.tv_sec != Start.st_mtim.tv_sec ||
            End.st_mtim.tv_nsec != Start.st_mtim.tv_nsec ||
            End.st_ctim.tv_sec != Start.st_ctim.tv_sec ||
            End.st_ctim.tv_nsec != Start.st_ctim.tv_nsec)
            throw EParvoxError(TextWith(txtSourceChanged, {BareName(GetBaseFileName())}));
        InputFile.Close();
        ReportPhase(TProgressCounts::Storing);
        std::vector<const TByteFile*> Also;
        if (WriteChecksumFile)
            Also.push_back(&SumsFile);
        for (const TRecoveryOutput& Output : RecoveryFiles)
            Also.push_back(Output.File.get());
        OutputFile.Store(Also);
        // The checksum file and the recovery files first and the first piece
        // last: a run that ends among these leaves no set that starts at .001.
        if (WriteChecksumFile) {
            const TFileId Id = SumsFile.Id();
            SumsFile.Close();
            Folder.Publish(TRunFolder::SumsNumber, SumsName());
            SumsPublished = Id;
        }
        for (size_t Index = 0; Index < RecoveryFiles.size(); ++Index) {
            RecoveryFiles[Index].File->Close();
            Folder.Publish(RecoveryNumber(Index), RecoveryFiles[Index].File->ShownName());
            RecoveryFiles[Index].Published = true;
        }
        for (; Published < Piece; ++Published)
            Folder.Publish(static_cast<uint64_t>(Piece - Published),
                           OutputPieceName(Piece - Published));
        OutputFile.StoreNames(Folder.Fd());
        EndIfStopRequested();
    };
    // Pieces of a split that did not end would pass for a whole set at the next join.
    const auto Undo = [&](TLeft& Left) {
        Quitting = true;
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
        for (size_t Index = 0; Index < RecoveryFiles.size(); ++Index) {
            const TRecoveryOutput& Output = RecoveryFiles[Index];
            if (!Output.File)
                continue;
            Output.File->CloseQuietly();
            if (Output.Published)
                RemoveWrittenOrLeave(Output.File->ShownName(), Output.Id, Left);
            else
                RemoveOrLeave(Folder.TemporaryName(RecoveryNumber(Index)), Left);
        }
    };
    UndoneOnFailure(Run, Undo, txtPieceTooLarge, txtNotEnoughSpace);
    LastMade = {Pieces, WriteChecksumFile ? BareName(SumsName()) : std::string(),
                static_cast<int64_t>(RecoveryFiles.size()), Folder.Name()};
}
