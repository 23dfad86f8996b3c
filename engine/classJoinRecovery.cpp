// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The recovery data of a join: the set beside the pieces, and what is rebuilt from it.
#include "classJoinRecovery.h"

#include "classParvoxBase.h"
#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>

namespace {

// "1 block was", "3 blocks were".
std::string BlocksWere(int64_t Count) {
    return Count == 1 ? "1 block was" : std::to_string(Count) + " blocks were";
}

std::string BlocksAre(int64_t Count) {
    return Count == 1 ? "1 block is" : std::to_string(Count) + " blocks are";
}

} // namespace

bool TJoinRecovery::Load(const std::vector<std::string>& Folders, const std::string& Name) {
    Base = Name;
    if (!Set.Load(Folders, Base))
        return false;
    const auto& Files = Set.Files();
    PieceOfFile.assign(Files.size(), 0);
    int64_t Highest = 0;
    for (size_t File = 0; File < Files.size(); ++File) {
        PieceOfFile[File] = TParvoxBase::PieceNumberOf(Files[File].Description.Name, Base);
        Highest = std::max(Highest, PieceOfFile[File]);
    }
    ByPiece.assign(static_cast<size_t>(Highest), {});
    for (size_t File = 0; File < Files.size(); ++File)
        if (PieceOfFile[File] > 0)
            ByPiece[static_cast<size_t>(PieceOfFile[File] - 1)].File = static_cast<int64_t>(File);
    // A set with a gap among its pieces was made of other pieces than a split's.
    if (std::any_of(ByPiece.begin(), ByPiece.end(), [](const TPiece& One) { return One.File < 0; }))
        throw EParvoxError(TextWith(txtNoRecovery, {BareName(Set.Sources().front())}));
    return true;
}

int64_t TJoinRecovery::Length(int64_t Piece) const {
    if (Piece < 1 || Piece > Pieces() || ByPiece[static_cast<size_t>(Piece - 1)].File < 0)
        return -1;
    return Set.Files()[static_cast<size_t>(ByPiece[static_cast<size_t>(Piece - 1)].File)]
        .Description.Length;
}

void TJoinRecovery::Found(int64_t Piece, const std::string& Path, int64_t Size, int64_t Offset) {
    TPiece& One = ByPiece.at(static_cast<size_t>(Piece - 1));
    One.Path = Path;
    One.Size = Path.empty() ? -1 : Size;
    One.Offset = Offset;
}

bool TJoinRecovery::Present(int64_t Piece) const {
    return Piece > Pieces() || !ByPiece[static_cast<size_t>(Piece - 1)].Path.empty();
}

std::string TJoinRecovery::PieceName(size_t File) const {
    return Set.Files()[File].Description.Name;
}

int64_t TJoinRecovery::LostOf(size_t File, int64_t Size) const {
    const auto& Slices = Set.Files()[File].Slices;
    const int64_t Length = Set.Files()[File].Description.Length;
    if (Size >= Length)
        return 0;
    // A slice that the bytes at hand hold whole may still be sound.
    return static_cast<int64_t>(Slices.size()) - std::max<int64_t>(Size, 0) / Set.SliceSize();
}

std::string TJoinRecovery::Named(std::vector<size_t> Files) const {
    // In the pieces' order, which the set's own order is not.
    std::sort(Files.begin(), Files.end(), [this](size_t A, size_t B) {
        return std::pair(PieceOfFile[A] == 0, PieceOfFile[A]) <
               std::pair(PieceOfFile[B] == 0, PieceOfFile[B]);
    });
    std::string Names;
    const size_t Shown = std::min<size_t>(Files.size(), 3);
    for (size_t At = 0; At < Shown; ++At) {
        if (At > 0)
            Names += At + 1 == Shown && Files.size() == Shown ? " and " : ", ";
        Names += PieceName(Files[At]);
    }
    if (Files.size() > Shown)
        Names += " and " + std::to_string(Files.size() - Shown) + " more";
    return Names;
}

void TJoinRecovery::BeyondRepair(int64_t Lost, const std::vector<size_t>& Files) const {
    throw EParvoxError(TextWith(
        txtBeyondRepair, {Named(Files), BlocksAre(Lost),
                          std::to_string(static_cast<int64_t>(Set.RecoverySlices().size()))}));
}

std::vector<size_t> TJoinRecovery::DamagedFiles() const {
    std::vector<size_t> Files;
    for (size_t File = 0; File < Repair->Files().size(); ++File)
        if (Repair->Files()[File].Damaged > 0)
            Files.push_back(File);
    return Files;
}

std::string TJoinRecovery::Damage() const {
    return Named(DamagedFiles());
}

void TJoinRecovery::CheckUpFront(TProgressCounts* Counts, std::function<bool()> StopWanted) {
    const auto& Files = Set.Files();
    std::vector<std::string> Paths(Files.size());
    int64_t Lost = 0;
    std::vector<size_t> Concerned;
    for (size_t File = 0; File < Files.size(); ++File) {
        int64_t Size = -1;
        if (PieceOfFile[File] > 0) {
            const TPiece& One = ByPiece[static_cast<size_t>(PieceOfFile[File] - 1)];
            Paths[File] = One.Path;
            Size = One.Size;
        }
        if (const int64_t Of = LostOf(File, Size); Of > 0) {
            Lost += Of;
            Concerned.push_back(File);
        }
    }
    if (Lost > static_cast<int64_t>(Set.RecoverySlices().size()))
        BeyondRepair(Lost, Concerned);
    Repair = std::make_unique<TRecoveryRepair>(Set);
    Repair->Counts = Counts;
    Repair->StopWanted = std::move(StopWanted);
    Repair->Open(Paths);
    FedFiles.clear();
    for (const TPiece& One : ByPiece)
        if (!One.Path.empty())
            FedFiles.push_back(static_cast<size_t>(One.File));
}

bool TJoinRecovery::CanRebuild(int64_t Piece) const {
    if (Length(Piece) < 0)
        return false;
    int64_t Lost = 0;
    for (const TPiece& One : ByPiece)
        if (&One != &ByPiece[static_cast<size_t>(Piece - 1)])
            Lost += LostOf(static_cast<size_t>(One.File), One.Path.empty() ? -1 : One.Size);
    Lost += LostOf(static_cast<size_t>(ByPiece[static_cast<size_t>(Piece - 1)].File), -1);
    return Lost <= static_cast<int64_t>(Set.RecoverySlices().size());
}

TPieceHasher::TFeed TJoinRecovery::Feed() {
    Fed = 0;
    Reading.reset();
    TPieceHasher::TFeed Taking;
    Taking.Bytes = [this](const uint8_t* Bytes, size_t Count) {
        // Pieces beyond those of the set have nothing to check.
        if (Fed >= FedFiles.size())
            return;
        if (!Reading)
            Reading.emplace(Set.SliceSize(), TSliceDigests::SliceMd5);
        Reading->Add(Bytes, Count);
    };
    Taking.PieceEnd = [this] {
        if (Fed >= FedFiles.size())
            return;
        const size_t File = FedFiles[Fed++];
        if (!Reading)
            Reading.emplace(Set.SliceSize(), TSliceDigests::SliceMd5);
        if (Reading->Length() >= Set.Files()[File].Description.Length)
            Reading->Finish();
        Repair->Take(File, *Reading);
        Reading.reset();
    };
    return Taking;
}

bool TJoinRecovery::Damaged() {
    Repair->Decide();
    if (!Repair->Repairable())
        BeyondRepair(Repair->MissingSlices(), DamagedFiles());
    return std::any_of(Repair->Files().begin(), Repair->Files().end(),
                       [](const TRecoveryRepair::TFileState& State) { return !State.Matches; });
}

void TJoinRecovery::Rebuild(const TWrite& Write) {
    Repair->Rebuild([&](size_t File, int64_t Offset, std::span<const uint8_t> Bytes) {
        const int64_t Piece = PieceOfFile[File];
        // Slices of a file of the set that is no piece of this join are not written.
        if (Piece > 0)
            Write(ByPiece[static_cast<size_t>(Piece - 1)].Offset + Offset, Bytes);
    });
    RebuiltSlices = Repair->MissingSlices();
}

void TJoinRecovery::CheckPieces(TPieceHasher& Hasher) const {
    TPieceHasher::TPieceDigest Digest;
    for (size_t Piece = 0; Hasher.NextDigest(Digest); ++Piece) {
        if (Piece >= ByPiece.size())
            continue;
        const TMd5::TDigest& Md5 =
            Set.Files()[static_cast<size_t>(ByPiece[Piece].File)].Description.Md5;
        if (!std::equal(Md5.begin(), Md5.end(), Digest.begin()))
            throw EParvoxError(TextWith(txtJoinedDamaged, {BareName(Set.Sources().front())}));
    }
    Hasher.Check();
}

std::string TJoinRecovery::Rebuilt() const {
    if (!Repair || RebuiltSlices == 0)
        return {};
    std::string Text;
    for (const TPiece& One : ByPiece) {
        const auto File = static_cast<size_t>(One.File);
        const TRecoveryRepair::TFileState& State = Repair->Files()[File];
        if (State.Damaged == 0)
            continue;
        const std::string& Said = !State.Found ? txtRebuiltMissing
                                  : State.Size < Set.Files()[File].Description.Length
                                      ? txtRebuiltShort
                                      : txtRebuiltDamaged;
        Text += (Text.empty() ? "" : " ") +
                TextWith(Said, {PieceName(File), BlocksWere(State.Damaged)});
    }
    return Text;
}

std::string TJoinRecovery::Summary() const {
    return TextWith(txtMatchesRecovery, {BareName(Set.Sources().front())});
}
