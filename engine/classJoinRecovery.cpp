// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The recovery data of a join: the set beside the pieces, and what is rebuilt from it.
#include "classJoinRecovery.h"

#include "classParvoxBase.h"
#include "classParvoxErrors.h"
#include "classWorkers.h"
#include "txt.h"

#include <algorithm>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

// "1 block was", "3 blocks were".
std::string BlocksWere(int64_t Count) {
    return Count == 1 ? "1 block was" : std::to_string(Count) + " blocks were";
}

std::string BlocksAre(int64_t Count) {
    return Count == 1 ? "1 block is" : std::to_string(Count) + " blocks are";
}

} // namespace

std::string TJoinRecovery::PiecesOf(const std::string& File) {
    if (!File.ends_with(".par2") || BareName(File) == ".par2")
        return {};
    std::string Base = File.substr(0, File.size() - 5);
    // A volume: ".vol", digits, "+", digits.
    const size_t Volume = Base.rfind(".vol");
    if (Volume != std::string::npos && Volume > Base.rfind('/') + 1) {
        const std::string Range = Base.substr(Volume + 4);
        const size_t Plus = Range.find('+');
        const auto Digits = [](const std::string& Text) {
            return !Text.empty() && std::all_of(Text.begin(), Text.end(),
                                                [](char C) { return C >= '0' && C <= '9'; });
        };
        if (Plus != std::string::npos && Digits(Range.substr(0, Plus)) &&
            Digits(Range.substr(Plus + 1)))
            Base.erase(Volume);
    }
    return Base;
}

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
    Described = 0;
    for (TPiece& One : ByPiece) {
        One.Offset = Described;
        Described += Files[static_cast<size_t>(One.File)].Description.Length;
    }
    FedFiles.assign(ByPiece.size(), -1);
    return true;
}

int64_t TJoinRecovery::Length(int64_t Piece) const {
    if (Piece < 1 || Piece > Pieces() || ByPiece[static_cast<size_t>(Piece - 1)].File < 0)
        return -1;
    return Set.Files()[static_cast<size_t>(ByPiece[static_cast<size_t>(Piece - 1)].File)]
        .Description.Length;
}

void TJoinRecovery::Found(int64_t Piece, const std::string& Path, int64_t Size) {
    if (Piece < 1 || Piece > Pieces())
        return;
    TPiece& One = ByPiece[static_cast<size_t>(Piece - 1)];
    One.Known = true;
    One.Path = Path;
    One.Size = Path.empty() ? -1 : Size;
    // A piece found once the run has begun, on a medium put in meanwhile.
    if (Repair && !Path.empty())
        Repair->Found(static_cast<size_t>(One.File), Path);
}

void TJoinRecovery::Copying(size_t Index, int64_t Piece) {
    if (Index < FedFiles.size())
        FedFiles[Index] = Piece <= Pieces() ? ByPiece[static_cast<size_t>(Piece - 1)].File : -1;
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
            // What is still to come from another medium counts as there.
            Size = One.Known ? One.Size : Set.Files()[File].Description.Length;
        }
        if (const int64_t Of = LostOf(File, Size); Of > 0) {
            Lost += Of;
            Concerned.push_back(File);
        }
    }
    if (Lost > static_cast<int64_t>(Set.RecoverySlices().size()))
        BeyondRepair(Lost, Concerned);
    this->Counts = Counts;
    this->StopWanted = StopWanted;
    Repair = std::make_unique<TRecoveryRepair>(Set);
    Repair->Counts = Counts;
    Repair->StopWanted = std::move(StopWanted);
    Repair->Open(Paths);
}

bool TJoinRecovery::CanRebuild(int64_t Piece) const {
    if (Length(Piece) < 0)
        return false;
    int64_t Lost = 0;
    for (const TPiece& One : ByPiece)
        if (One.Known && &One != &ByPiece[static_cast<size_t>(Piece - 1)])
            Lost += LostOf(static_cast<size_t>(One.File), One.Size);
    Lost += LostOf(static_cast<size_t>(ByPiece[static_cast<size_t>(Piece - 1)].File), -1);
    return Lost <= static_cast<int64_t>(Set.RecoverySlices().size());
}

TPieceHasher::TFeed TJoinRecovery::Feed() {
    TPieceHasher::TFeed Taking;
    Taking.Threads = std::max(1U, std::thread::hardware_concurrency());
    Reading = std::vector<std::optional<TSliceDigests>>(
        std::min(Taking.Threads, TPieceHasher::MostFeedThreads));
    // Each thread reads every n-th piece, and the digests of one piece at a time.
    const auto Digests = [this](size_t Piece) -> TSliceDigests& {
        std::optional<TSliceDigests>& Mine = Reading[Piece % Reading.size()];
        if (!Mine)
            Mine.emplace(Set.SliceSize(), TSliceDigests::SliceMd5);
        return *Mine;
    };
    // Pieces beyond those of the set have nothing to check.
    Taking.Bytes = [this, Digests](size_t Piece, const uint8_t* Bytes, size_t Count) {
        if (Piece < FedFiles.size() && FedFiles[Piece] >= 0)
            Digests(Piece).Add(Bytes, Count);
    };
    Taking.PieceEnd = [this, Digests](size_t Piece) {
        if (Piece >= FedFiles.size() || FedFiles[Piece] < 0)
            return;
        const auto File = static_cast<size_t>(FedFiles[Piece]);
        TSliceDigests& Read = Digests(Piece);
        if (Read.Length() >= Set.Files()[File].Description.Length)
            Read.Finish();
        Repair->Take(File, Read);
        Reading[Piece % Reading.size()].reset();
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

void TJoinRecovery::CheckJoined(const std::string& Joined) const {
    const int Fd = Retried([&] { return ::open(Joined.c_str(), O_RDONLY | O_CLOEXEC); });
    if (Fd < 0)
        throw EInOutError(errno, Joined);
    const struct TClose {
        int Fd;
        ~TClose() { ::close(Fd); }
    } Closes{Fd};
    const int64_t Size = Set.SliceSize();
    if (Counts != nullptr) {
        Counts->Done = 0;
        Counts->Total = Described;
    }
    TWorkers Workers;
    Workers.Run(
        {{ByPiece.size(), [&](size_t Piece) {
              const TRecoverySet::TFile& File =
                  Set.Files()[static_cast<size_t>(ByPiece[Piece].File)];
              // A slice padded with zeros, as its digests are taken.
              std::vector<uint8_t> Slice(static_cast<size_t>(Size));
              for (size_t At = 0; At < File.Slices.size(); ++At) {
                  if (StopWanted && StopWanted())
                      throw EParvoxStopped();
                  const int64_t Offset = static_cast<int64_t>(At) * Size;
                  const auto Bytes =
                      static_cast<size_t>(std::min(Size, File.Description.Length - Offset));
                  std::fill(Slice.begin() + static_cast<std::ptrdiff_t>(Bytes), Slice.end(), 0);
                  for (size_t Done = 0; Done < Bytes;) {
                      const ssize_t Got = Retried([&] {
                          return ::pread(Fd, Slice.data() + Done, Bytes - Done,
                                         ByPiece[Piece].Offset + Offset +
                                             static_cast<int64_t>(Done));
                      });
                      if (Got <= 0)
                          throw EInOutError(Got < 0 ? errno : EIO, Joined);
                      Done += static_cast<size_t>(Got);
                  }
                  if (TSliceDigests::CrcOf(Slice.data(), Slice.size()) != File.Slices[At].Crc)
                      throw EParvoxError(
                          TextWith(txtJoinedDamaged, {BareName(Set.Sources().front())}));
                  if (Counts != nullptr)
                      Counts->Done.fetch_add(static_cast<int64_t>(Bytes),
                                             std::memory_order_relaxed);
              }
          }}});
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
