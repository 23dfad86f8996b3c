// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Planning, computing and writing the recovery files of a split.
#include "classRecoveryEncoder.h"

#include "classGf16.h"
#include "classPar2Packets.h"
#include "classParvoxErrors.h"
#include "txt.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// The slices of a set where the file allows: few enough that the work per
// byte stays small, enough that a damaged spot costs little of the data.
constexpr int64_t AimedSlices = 1500;
// The smallest slice aimed at: smaller files get fewer slices, so that the
// slices' digests and the packets' headers stay a small part of the data.
constexpr int64_t SmallestAimedSlice = 4096;
// The largest slice aimed at: larger files get more slices instead, up to
// the most that a set holds, so that a pass holds many recovery slices.
constexpr int64_t LargestAimedSlice = 16 << 20;

const std::string CreatorText = "Created by Parvox " PARVOX_VERSION ".";

int64_t Padded(int64_t Bytes) {
    return (Bytes + 3) / 4 * 4;
}

int64_t SlicesOf(int64_t Size, int64_t Slice) {
    return (Size + Slice - 1) / Slice;
}

int Digits(int64_t Value) {
    return static_cast<int>(std::to_string(Value).size());
}

std::string ZeroPadded(int64_t Value, int Width) {
    const std::string Text = std::to_string(Value);
    return std::string(static_cast<size_t>(std::max<int>(Width - static_cast<int>(Text.size()), 0)),
                       '0') +
           Text;
}

} // namespace

TRecoveryEncoder::TRecoveryEncoder(std::string Name, std::vector<TPiece> Given, TAmount Amount,
                                   int64_t Budget)
    : SetName(std::move(Name)) {
    if (static_cast<int64_t>(Given.size()) > TPar2Packets::MostSlices)
        throw EParvoxError(txtTooManyPieces);
    for (const TPiece& One : Given) {
        Pieces.push_back({One.Name, One.Size, Total});
        Total += One.Size;
    }
    if (Total == 0)
        return;
    ChooseSliceSize();
    for (TPlanned& One : Pieces) {
        One.FirstSlice = Slices;
        One.SliceCount = SlicesOf(One.Size, Slice);
        Slices += One.SliceCount;
    }
    PlanFiles(Amount, Budget);
}

void TRecoveryEncoder::ChooseSliceSize() {
    const auto Count = [this](int64_t Size) {
        int64_t Made = 0;
        for (const TPlanned& One : Pieces)
            Made += SlicesOf(One.Size, Size);
        return Made;
    };
    const int64_t Aimed =
        std::clamp<int64_t>(std::max(SlicesOf(Total, LargestAimedSlice),
                                     std::min(AimedSlices, SlicesOf(Total, SmallestAimedSlice))),
                            1, TPar2Packets::MostSlices);
    // How far a count is from the aim, as a ratio of the larger to the
    // smaller: Nearer(A, B) when A's ratio is below B's, in whole numbers so
    // that every build decides alike.
    const auto Nearer = [Aimed](int64_t A, int64_t B) {
        return std::max(A, Aimed) * std::min(B, Aimed) < std::max(B, Aimed) * std::min(A, Aimed);
    };
    // A piece ends on a slice boundary where the slice size divides it: the
    // slices of a lost piece are then its own, and no slice is half padding.
    // The candidates divide every piece but the last (a single piece too),
    // from the largest down while the count stays within bounds.
    const bool Single = Pieces.size() == 1;
    const int64_t Last = Single ? 0 : Pieces.back().Size;
    int64_t Whole = 0;
    int64_t Shared = 0;
    for (size_t Index = 0; Index + (Single ? 0 : 1) < Pieces.size(); ++Index) {
        Whole += Pieces[Index].Size;
        Shared = std::gcd(Shared, Pieces[Index].Size);
    }
    int64_t Best = 0;
    int64_t BestCount = 0;
    for (int64_t Parts = 1; Parts <= TPar2Packets::MostSlices && Parts <= Shared / 4; ++Parts) {
        const int64_t Size = Shared / Parts;
        if (Shared % Parts != 0 || Size % 4 != 0)
            continue;
        const int64_t Made = Whole / Size + SlicesOf(Last, Size);
        if (Made > TPar2Packets::MostSlices)
            break;
        if (Best == 0 || Nearer(Made, BestCount)) {
            Best = Size;
            BestCount = Made;
        }
    }
    // Within a factor of two of the aim, the boundaries are worth the
    // difference; beyond it, only where slices across them come no nearer.
    if (Best > 0 && std::max(BestCount, Aimed) <= 2 * std::min(BestCount, Aimed)) {
        Slice = Best;
        return;
    }
    Slice = std::max<int64_t>(Padded(SlicesOf(Total, Aimed)), 4);
    while (Count(Slice) > TPar2Packets::MostSlices)
        Slice = Padded(Slice * 2);
    if (Best > 0 && !Nearer(Count(Slice), BestCount))
        Slice = Best;
}

void TRecoveryEncoder::PlanFiles(TAmount Amount, int64_t Budget) {
    if (Amount.OneLostPiece) {
        for (const TPlanned& One : Pieces)
            Recovery = std::max(Recovery, One.SliceCount);
        // A lost stick seldom comes alone: a hundredth of the set more
        // rebuilds a bad sector or two in the other pieces as well.
        Recovery = std::min(Slices, Recovery + (Slices + 99) / 100);
    } else {
        Recovery = std::clamp<int64_t>((Slices * std::clamp(Amount.Percent, 0, 100) + 99) / 100, 1,
                                       Slices);
    }
    const auto Region = static_cast<int64_t>((Slice + TGf16::RegionAlign - 1) / TGf16::RegionAlign *
                                             TGf16::RegionAlign);
    const int64_t PerPass = std::clamp<int64_t>(Budget / Region, 1, Recovery);
    // Volumes of 1, 2, 4, ... slices: a little damage costs a small file, and
    // few files hold much. No volume is larger than a pass holds.
    for (int64_t First = 0, Size = 1; First < Recovery; First += Size, Size *= 2) {
        Size = std::min({Size, Recovery - First, PerPass});
        Volumes.push_back({static_cast<uint32_t>(First), static_cast<uint32_t>(Size), 0});
    }
    for (TVolume& Volume : Volumes) {
        if (PassRanges.empty() || PassRanges.back().Count + Volume.Count > PerPass)
            PassRanges.push_back({Volume.First, 0});
        PassRanges.back().Count += Volume.Count;
        Volume.Pass = static_cast<int>(PassRanges.size()) - 1;
    }
    const int64_t Described = DescriptionBytes() + TPar2Packets::HeaderSize +
                              Padded(static_cast<int64_t>(CreatorText.size()));
    Files.push_back({SetName + ".par2", Described, 0});
    for (const TVolume& Volume : Volumes)
        Files.push_back(
            {VolumeName(Volume),
             Described + DescriptionBytes() + Volume.Count * (TPar2Packets::HeaderSize + 4 + Slice),
             Volume.Pass});
}

int64_t TRecoveryEncoder::DescriptionBytes() const {
    int64_t Bytes = TPar2Packets::HeaderSize + 12 + 16 * static_cast<int64_t>(Pieces.size());
    for (const TPlanned& One : Pieces)
        Bytes += 2 * TPar2Packets::HeaderSize + 56 + Padded(static_cast<int64_t>(One.Name.size())) +
                 16 + 20 * One.SliceCount;
    return Bytes;
}

std::string TRecoveryEncoder::VolumeName(const TVolume& Volume) const {
    uint32_t Largest = 0;
    for (const TVolume& Each : Volumes)
        Largest = std::max(Largest, Each.Count);
    return SetName + ".vol" + ZeroPadded(Volume.First, Digits(Recovery)) + "+" +
           ZeroPadded(Volume.Count, Digits(Largest)) + ".par2";
}

int64_t TRecoveryEncoder::OutputBytes() const {
    int64_t Bytes = 0;
    for (const TOutput& File : Files)
        Bytes += File.Size;
    return Bytes;
}

size_t TRecoveryEncoder::PieceOf(int64_t Stream) const {
    const auto After =
        std::upper_bound(Pieces.begin(), Pieces.end(), Stream,
                         [](int64_t Value, const TPlanned& One) { return Value < One.FirstSlice; });
    return static_cast<size_t>(After - Pieces.begin()) - 1;
}

void TRecoveryEncoder::ReadHeads(const TReadAt& Read) {
    std::vector<uint8_t> Head(TSliceDigests::HeadSize);
    for (TPlanned& One : Pieces) {
        const auto Bytes = static_cast<size_t>(std::min(One.Size, TSliceDigests::HeadSize));
        Read(One.Start, Head.data(), Bytes);
        One.HeadMd5 = TMd5::Of(Head.data(), Bytes);
        One.Id = TPar2Packets::FileId(One.HeadMd5, One.Size, One.Name);
    }
    // The slices take their constants in the main packet's order of the files.
    std::vector<TPlanned*> Order;
    for (TPlanned& One : Pieces)
        Order.push_back(&One);
    std::sort(Order.begin(), Order.end(), [](const TPlanned* A, const TPlanned* B) {
        return TPar2Packets::IdBefore(A->Id, B->Id);
    });
    int64_t Constant = 0;
    for (TPlanned* One : Order) {
        One->FirstConstant = Constant;
        Constant += One->SliceCount;
    }
    HeadsRead = true;
}

void TRecoveryEncoder::BeginPass(int Next) {
    if (!HeadsRead || Next < 0 || Next >= Passes())
        throw EParvoxError("The recovery data's passes are out of order");
    Pass = Next;
    At = {};
    Differs = false;
    if (!Workers)
        Workers = std::make_unique<TWorkers>();
    const size_t Outputs = PassRanges[static_cast<size_t>(Pass)].Count;
    if (Mixer && Mixer->Outputs() == Outputs) {
        Mixer->Clear();
    } else {
        Mixer.reset();
        Mixer = std::make_unique<TSliceMixer>(*Workers, Slice, Outputs, StopWanted);
    }
    Mixer->Prepare = [this](TSliceMixer::TSlot& Slot) { Prepare(Slot); };
    Mixer->InOrder = nullptr;
    if (Pass == 0) {
        Sums.assign(static_cast<size_t>(Slices), {});
        Hashing.reset();
        for (TPlanned& One : Pieces)
            One.Md5 = One.ReadHead = TMd5::Of(nullptr, 0);
        Mixer->InOrder = [this](std::span<const TSliceMixer::TSlot> Slots) { HashInOrder(Slots); };
    }
}

void TRecoveryEncoder::Prepare(TSliceMixer::TSlot& Slot) {
    const auto Index = static_cast<size_t>(Slot.Tag);
    const TPlanned& One = Pieces[PieceOf(Slot.Tag)];
    // The padding is in the region already: the slice's digests cover it.
    if (Pass == 0)
        Sums[Index] = TSliceDigests::Slice(Slot.Region, static_cast<size_t>(Slice), Slice);
    else if (TSliceDigests::CrcOf(Slot.Region, static_cast<size_t>(Slice)) != Sums[Index].Crc)
        Differs = true;
    const TRange& Range = PassRanges[static_cast<size_t>(Pass)];
    const auto Constant = static_cast<size_t>(One.FirstConstant + Slot.Tag - One.FirstSlice);
    for (uint32_t Output = 0; Output < Range.Count; ++Output)
        Slot.Factors[Output] = TSliceMixer::Factor(Constant, Range.First + Output);
}

void TRecoveryEncoder::HashInOrder(std::span<const TSliceMixer::TSlot> Slots) {
    for (const TSliceMixer::TSlot& Slot : Slots) {
        TPlanned& One = Pieces[PieceOf(Slot.Tag)];
        if (!Hashing)
            Hashing.emplace(Slice, TSliceDigests::WholeFile);
        Hashing->Add(Slot.Region, Slot.Bytes);
        if (Slot.Tag + 1 == One.FirstSlice + One.SliceCount) {
            Hashing->Finish();
            One.Md5 = Hashing->FileMd5();
            One.ReadHead = Hashing->HeadMd5();
            Hashing.reset();
        }
    }
}

void TRecoveryEncoder::Add(const uint8_t* Bytes, size_t Count) {
    if (Pass < 0 || static_cast<int64_t>(Count) > Total - At.Fed)
        Changed();
    while (Count > 0) {
        while (Pieces[At.Piece].Size == 0)
            ++At.Piece;
        if (At.Open == nullptr) {
            At.Open = &Mixer->Next();
            At.Open->Tag = At.Slice;
        }
        const TPlanned& One = Pieces[At.Piece];
        const auto Part = static_cast<size_t>(std::min<int64_t>(
            {static_cast<int64_t>(Count), Slice - static_cast<int64_t>(At.Open->Bytes),
             One.Size - At.InPiece}));
        std::memcpy(At.Open->Region + At.Open->Bytes, Bytes, Part);
        At.Open->Bytes += Part;
        Bytes += Part;
        Count -= Part;
        At.Fed += static_cast<int64_t>(Part);
        At.InPiece += static_cast<int64_t>(Part);
        if (static_cast<int64_t>(At.Open->Bytes) == Slice || At.InPiece == One.Size) {
            At.Open = nullptr;
            ++At.Slice;
            Mixer->Commit();
            if (At.InPiece == One.Size) {
                ++At.Piece;
                At.InPiece = 0;
            }
        }
    }
}

void TRecoveryEncoder::Changed() const {
    throw EParvoxError(ChangedMessage);
}

void TRecoveryEncoder::Describe() {
    TPar2Packets::TMain Main{Slice, {}};
    for (const TPlanned& One : Pieces)
        Main.Files.push_back(One.Id);
    std::sort(Main.Files.begin(), Main.Files.end(), TPar2Packets::IdBefore);
    const std::vector<uint8_t> MainBody = TPar2Packets::MainBody(Main);
    SetId = TMd5::Of(MainBody.data(), MainBody.size());
    const auto Append = [this](const std::vector<uint8_t>& Packet) {
        Description.insert(Description.end(), Packet.begin(), Packet.end());
    };
    Description.clear();
    Append(TPar2Packets::Packet(SetId, TPar2Packets::MainType, MainBody));
    std::vector<const TPlanned*> Order;
    for (const TMd5::TDigest& Id : Main.Files)
        for (const TPlanned& One : Pieces)
            if (One.Id == Id)
                Order.push_back(&One);
    for (const TPlanned* One : Order)
        Append(TPar2Packets::Packet(
            SetId, TPar2Packets::FileType,
            TPar2Packets::FileBody({One->Id, One->Md5, One->HeadMd5, One->Size, One->Name})));
    for (const TPlanned* One : Order) {
        const auto First = Sums.begin() + One->FirstSlice;
        Append(TPar2Packets::Packet(
            SetId, TPar2Packets::SlicesType,
            TPar2Packets::SlicesBody(One->Id, {First, First + One->SliceCount})));
    }
    Creator = TPar2Packets::Packet(SetId, TPar2Packets::CreatorType,
                                   TPar2Packets::CreatorBody(CreatorText));
}

void TRecoveryEncoder::EndPass(const TWriteFile& Write) {
    if (Pass < 0)
        Changed();
    Mixer->Finish();
    // Fewer bytes than planned, or other bytes than in the first pass.
    if (At.Fed != Total || Differs)
        Changed();
    if (Pass == 0) {
        for (const TPlanned& One : Pieces)
            if (One.ReadHead != One.HeadMd5)
                Changed();
        Describe();
    }
    Mixer->ToFileLayout();
    const TRange& Range = PassRanges[static_cast<size_t>(Pass)];
    std::vector<std::array<uint8_t, TPar2Packets::HeaderSize + 4>> Heads(Range.Count);
    Workers->Run(
        {{Range.Count, [&](size_t Output) {
              const uint32_t Exponent = Range.First + static_cast<uint32_t>(Output);
              const uint8_t Bytes[4] = {
                  static_cast<uint8_t>(Exponent), static_cast<uint8_t>(Exponent >> 8),
                  static_cast<uint8_t>(Exponent >> 16), static_cast<uint8_t>(Exponent >> 24)};
              const auto Head = TPar2Packets::Header(
                  SetId, TPar2Packets::RecoveryType,
                  {std::span<const uint8_t>(Bytes),
                   std::span<const uint8_t>(Mixer->Output(Output), static_cast<size_t>(Slice))});
              std::copy(Head.begin(), Head.end(), Heads[Output].begin());
              std::copy(Bytes, Bytes + 4, Heads[Output].begin() + TPar2Packets::HeaderSize);
          }}});
    const std::span<const uint8_t> Described(Description);
    const std::span<const uint8_t> Created(Creator);
    if (Pass == 0)
        Write(Files.front().Name, {Described, Created});
    for (size_t Index = 0; Index < Volumes.size(); ++Index) {
        const TVolume& Volume = Volumes[Index];
        if (Volume.Pass != Pass)
            continue;
        // The description first, so that a volume cut short, as an
        // interrupted copy leaves it, still describes the set; and last, for
        // one damaged at its start.
        std::vector<std::span<const uint8_t>> Parts{Described};
        for (uint32_t Each = 0; Each < Volume.Count; ++Each) {
            const uint32_t Output = Volume.First + Each - Range.First;
            Parts.emplace_back(Heads[Output]);
            Parts.emplace_back(Mixer->Output(Output), static_cast<size_t>(Slice));
        }
        Parts.push_back(Described);
        Parts.push_back(Created);
        Write(Files[Index + 1].Name, Parts);
    }
    Pass = -1;
}
