// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The check of the pieces against the recovery set, and the rebuilding of lost slices.
#include "classRecoveryRepair.h"

#include "classGf16.h"
#include "classParvoxErrors.h"
#include "classSliceMixer.h"
#include "txt.h"

#include <algorithm>
#include <unistd.h>

namespace {

// The bytes read at once from a piece.
constexpr int64_t ReadChunk = 1 << 20;
// A slice's padding that a check hashes whatever the files at hand.
constexpr int64_t LargestPadding = 64 << 20;
// Recovery slices beyond the lost slices' number taken into the system, so
// that a choice whose system has no solution is mended by another.
constexpr size_t SpareRows = 16;

// The bytes of a region of Words words, whole regions of the field.
size_t RegionFor(size_t Words) {
    return (2 * Words + TGf16::RegionAlign - 1) / TGf16::RegionAlign * TGf16::RegionAlign;
}

uint16_t WordAt(const uint8_t* Region, size_t Index) {
    return static_cast<uint16_t>(Region[2 * Index] | Region[2 * Index + 1] << 8);
}

void SetWord(uint8_t* Region, size_t Index, uint16_t Value) {
    Region[2 * Index] = static_cast<uint8_t>(Value);
    Region[2 * Index + 1] = static_cast<uint8_t>(Value >> 8);
}

} // namespace

TRecoveryRepair::TRecoveryRepair(const TRecoverySet& Set, int64_t Budget)
    : Set(Set), Budget(Budget) {}

TRecoveryRepair::~TRecoveryRepair() = default;

TRecoveryRepair::THandle::~THandle() {
    if (Fd >= 0)
        ::close(Fd);
}

TRecoveryRepair::THandle TRecoveryRepair::OpenFile(size_t Index) const {
    THandle Handle;
    if (!States[Index].Found)
        return Handle;
    TByteFile File;
    File.Assign(Paths[Index]);
    try {
        File.Reset();
    } catch (const EInOutError&) {
        return Handle;
    }
    Handle.Fd = File.Duplicate();
    File.Close();
    return Handle;
}

void TRecoveryRepair::CheckStop() const {
    if (StopWanted && StopWanted())
        throw EParvoxStopped();
}

void TRecoveryRepair::Report(int64_t Bytes) const {
    if (Counts != nullptr)
        Counts->Done.fetch_add(Bytes, std::memory_order_relaxed);
}

void TRecoveryRepair::ReadFully(int Fd, uint8_t* Into, size_t Count, int64_t Offset,
                                const std::string& Name) const {
    for (size_t Done = 0; Done < Count;) {
        const ssize_t Got = Retried([&] {
            return ::pread(Fd, Into + Done, Count - Done, Offset + static_cast<int64_t>(Done));
        });
        if (Got <= 0)
            throw EInOutError(Got < 0 ? errno : 100, Name);
        Done += static_cast<size_t>(Got);
    }
}

void TRecoveryRepair::Open(const std::vector<std::string>& Given) {
    const auto& Files = Set.Files();
    Paths = Given;
    Paths.resize(Files.size());
    States.assign(Files.size(), {});
    Lost.assign(Files.size(), {});
    Missing.clear();
    Solved = false;
    Padding = std::max(Set.LargestSource(), LargestPadding);
    for (size_t Index = 0; Index < Files.size(); ++Index) {
        Lost[Index].assign(Files[Index].Slices.size(), true);
        Found(Index, Paths[Index]);
    }
}

void TRecoveryRepair::Found(size_t Index, const std::string& Path) {
    Paths[Index] = Path;
    if (Path.empty())
        return;
    TByteFile File;
    File.Assign(Path);
    try {
        File.Reset();
    } catch (const EInOutError&) {
        return;
    }
    States[Index].Found = true;
    States[Index].Size = File.FileSize();
    Padding = std::max(Padding, States[Index].Size);
    File.Close();
}

void TRecoveryRepair::Check() {
    const auto& Files = Set.Files();
    if (Counts != nullptr) {
        Counts->Done = 0;
        Counts->Total = 0;
        for (size_t Index = 0; Index < Files.size(); ++Index)
            Counts->Total += std::min(States[Index].Size, Files[Index].Description.Length);
    }
    if (!Workers)
        Workers = std::make_unique<TWorkers>();
    Workers->Run({{Files.size(), [this](size_t Index) {
                       if (States[Index].Found)
                           ReadSlices(Index);
                   }}});
    Decide();
}

void TRecoveryRepair::Take(size_t Index, const TSliceDigests& Read) {
    Compare(Index, Read, 0);
}

void TRecoveryRepair::Decide() {
    const auto& Files = Set.Files();
    Missing.clear();
    for (size_t Index = 0; Index < Files.size(); ++Index) {
        TFileState& State = States[Index];
        State.Damaged = std::count(Lost[Index].begin(), Lost[Index].end(), true);
        State.Matches =
            State.Found && State.Damaged == 0 && State.Size == Files[Index].Description.Length;
        for (size_t Slice = 0; Slice < Lost[Index].size(); ++Slice)
            if (Lost[Index][Slice])
                Missing.push_back(Files[Index].FirstConstant + static_cast<int64_t>(Slice));
    }
    if (!Workers)
        Workers = std::make_unique<TWorkers>();
    Solved = !Missing.empty() && Missing.size() <= Set.RecoverySlices().size() && Solve();
}

void TRecoveryRepair::Compare(size_t Index, const TSliceDigests& Read, size_t First) {
    const TRecoverySet::TFile& File = Set.Files()[Index];
    const auto& Slices = Read.Slices();
    const int64_t Size = Set.SliceSize();
    // Only slices read whole count: not the last slice of a file read short.
    const int64_t End = static_cast<int64_t>(First) * Size + Read.Length();
    for (size_t Slice = First; Slice - First < Slices.size() && Slice < File.Slices.size(); ++Slice)
        if (std::min<int64_t>((static_cast<int64_t>(Slice) + 1) * Size, File.Description.Length) <=
            End)
            Lost[Index][Slice] = Slices[Slice - First].Md5 != File.Slices[Slice].Md5;
}

void TRecoveryRepair::ReadSlices(size_t Index) {
    const TRecoverySet::TFile& File = Set.Files()[Index];
    const int64_t Size = Set.SliceSize();
    const int64_t Length = File.Description.Length;
    const int64_t Present = std::min(States[Index].Size, Length);
    const THandle Handle = OpenFile(Index);
    if (Handle.Fd < 0)
        return;
    std::vector<uint8_t> Chunk(
        static_cast<size_t>(std::min(ReadChunk, std::max<int64_t>(Present, 1))));
    for (int64_t At = 0; At < Present;) {
        const auto First = static_cast<size_t>(At / Size);
        TSliceDigests Read(Size, TSliceDigests::SliceMd5);
        bool Failed = false;
        while (!Failed && At < Present) {
            CheckStop();
            const auto Want = static_cast<size_t>(std::min<int64_t>(ReadChunk, Present - At));
            const ssize_t Got = Retried([&] { return ::pread(Handle.Fd, Chunk.data(), Want, At); });
            Failed = Got <= 0;
            if (!Failed) {
                Read.Add(Chunk.data(), static_cast<size_t>(Got));
                At += Got;
                Report(Got);
            }
        }
        // The padding of a slice beyond every file at hand is no sound set's.
        if (At == Length && Size <= Padding)
            Read.Finish();
        Compare(Index, Read, First);
        if (Failed)
            At = (At / Size + 1) * Size;
    }
}

bool TRecoveryRepair::Solve() {
    const auto& Recovery = Set.RecoverySlices();
    const size_t Lost = Missing.size();
    const size_t Rows = std::min(Recovery.size(), Lost + SpareRows);
    const size_t Width = Lost + Rows;
    const size_t RowBytes = RegionFor(Width);
    // Row r: what recovery slice r holds of each lost slice (the lost
    // slice's constant to the exponent), then the identity, which the
    // elimination turns into the inverse. Rows stay in the files' layout
    // but for the moment that the field's kernel adds the pivot row into them.
    std::vector<uint8_t> Matrix(Rows * RowBytes, 0);
    Workers->Run({{Rows, [&](size_t Row) {
                       uint8_t* Line = &Matrix[Row * RowBytes];
                       for (size_t Column = 0; Column < Lost; ++Column)
                           SetWord(Line, Column,
                                   TSliceMixer::Factor(static_cast<size_t>(Missing[Column]),
                                                       Recovery[Row].Exponent));
                       SetWord(Line, Lost + Row, 1);
                   }}});
    std::vector<bool> Pivot(Rows, false);
    std::vector<size_t> PivotOf(Lost);
    std::vector<uint8_t> Added(RowBytes);
    const size_t Parts = 4 * Workers->Count();
    for (size_t Column = 0; Column < Lost; ++Column) {
        CheckStop();
        size_t Chosen = 0;
        while (Chosen < Rows && (Pivot[Chosen] || WordAt(&Matrix[Chosen * RowBytes], Column) == 0))
            ++Chosen;
        if (Chosen == Rows)
            return false;
        Pivot[Chosen] = true;
        PivotOf[Column] = Chosen;
        uint8_t* Line = &Matrix[Chosen * RowBytes];
        const uint16_t Scale = TGf16::Divide(1, WordAt(Line, Column));
        for (size_t At = Column; At < Width; ++At)
            SetWord(Line, At, TGf16::Multiply(WordAt(Line, At), Scale));
        std::copy_n(Line, RowBytes, Added.begin());
        TGf16::ToKernelLayout(Added.data(), RowBytes);
        Workers->Run({{Parts, [&](size_t Part) {
                           for (size_t Row = Rows * Part / Parts; Row < Rows * (Part + 1) / Parts;
                                ++Row) {
                               uint8_t* Other = &Matrix[Row * RowBytes];
                               const uint16_t Factor = WordAt(Other, Column);
                               if (Row == Chosen || Factor == 0)
                                   continue;
                               TGf16::ToKernelLayout(Other, RowBytes);
                               TGf16::MultiplyAdd(Factor, Added.data(), Other, RowBytes);
                               TGf16::FromKernelLayout(Other, RowBytes);
                           }
                       }}});
    }
    // Only the pivot rows mix into the inverse: the other rows never went
    // into them. It is kept twice: by lost slice, to read, and by recovery
    // slice, as regions for the kernel.
    Used.clear();
    for (size_t Row = 0; Row < Rows; ++Row)
        if (Pivot[Row])
            Used.push_back(Row);
    const size_t ColumnBytes = RegionFor(Lost);
    Inverse.assign(Lost * Used.size(), 0);
    Columns.assign(Used.size() * ColumnBytes, 0);
    for (size_t Slice = 0; Slice < Lost; ++Slice)
        for (size_t U = 0; U < Used.size(); ++U) {
            const uint16_t Entry = WordAt(&Matrix[PivotOf[Slice] * RowBytes], Lost + Used[U]);
            Inverse[Slice * Used.size() + U] = Entry;
            SetWord(&Columns[U * ColumnBytes], Slice, Entry);
        }
    for (size_t U = 0; U < Used.size(); ++U)
        TGf16::ToKernelLayout(&Columns[U * ColumnBytes], ColumnBytes);
    return true;
}

size_t TRecoveryRepair::FileOf(int64_t Constant) const {
    const auto& Files = Set.Files();
    const auto After = std::upper_bound(
        Files.begin(), Files.end(), Constant,
        [](int64_t Value, const TRecoverySet::TFile& File) { return Value < File.FirstConstant; });
    return static_cast<size_t>(After - Files.begin()) - 1;
}

void TRecoveryRepair::Rebuild(const TDeliver& Deliver) {
    if (Missing.empty())
        return;
    const auto& Files = Set.Files();
    const auto& Recovery = Set.RecoverySlices();
    if (!Solved)
        throw EParvoxError(
            TextWith(txtNotRebuilt, {Files[FileOf(Missing.front())].Description.Name}));
    const int64_t Size = Set.SliceSize();
    const auto Region = static_cast<int64_t>((Size + TGf16::RegionAlign - 1) / TGf16::RegionAlign *
                                             TGf16::RegionAlign);
    const auto PerPass = static_cast<size_t>(
        std::clamp<int64_t>(Budget / Region, 1, static_cast<int64_t>(Missing.size())));
    std::vector<const uint8_t*> Inputs;
    for (size_t U = 0; U < Used.size(); ++U)
        Inputs.push_back(&Columns[U * RegionFor(Missing.size())]);
    for (size_t First = 0; First < Missing.size(); First += PerPass) {
        const size_t Count = std::min(PerPass, Missing.size() - First);
        TSliceMixer Mixer(*Workers, Size, Count, StopWanted);
        // A sound slice goes into lost slice j through every chosen recovery
        // slice that holds it; a recovery slice by its entry of the inverse.
        Mixer.Prepare = [&](TSliceMixer::TSlot& Slot) {
            const size_t Width = Used.size();
            if (Slot.Tag < 0) {
                const auto U = static_cast<size_t>(-Slot.Tag - 1);
                for (size_t Out = 0; Out < Count; ++Out)
                    Slot.Factors[Out] = Inverse[(First + Out) * Width + U];
                return;
            }
            // What each chosen recovery slice holds of this slice, through
            // the inverse into every lost slice: one sum of columns.
            std::vector<uint16_t> Through(Width);
            for (size_t U = 0; U < Width; ++U)
                Through[U] =
                    TSliceMixer::Factor(static_cast<size_t>(Slot.Tag), Recovery[Used[U]].Exponent);
            std::vector<uint8_t> Sum(RegionFor(Missing.size()), 0);
            uint8_t* Into = Sum.data();
            TGf16::MultiplyAddBatch(Inputs.data(), Width, Through.data(), &Into, 1, Sum.size());
            TGf16::FromKernelLayout(Sum.data(), Sum.size());
            for (size_t Out = 0; Out < Count; ++Out)
                Slot.Factors[Out] = WordAt(Sum.data(), First + Out);
        };
        if (Counts != nullptr) {
            Counts->Done = 0;
            Counts->Total = 0;
            for (size_t Index = 0; Index < Files.size(); ++Index)
                Counts->Total += Files[Index].Description.Length;
        }
        for (size_t Index = 0; Index < Files.size(); ++Index) {
            const int64_t Length = Files[Index].Description.Length;
            // One file open at a time, however many the set has.
            const THandle Handle = std::count(Lost[Index].begin(), Lost[Index].end(), false) > 0
                                       ? OpenFile(Index)
                                       : THandle();
            for (size_t Slice = 0; Slice < Lost[Index].size(); ++Slice) {
                const int64_t Offset = static_cast<int64_t>(Slice) * Size;
                const int64_t Bytes = std::min(Size, Length - Offset);
                if (!Lost[Index][Slice]) {
                    TSliceMixer::TSlot& Slot = Mixer.Next();
                    Slot.Tag = Files[Index].FirstConstant + static_cast<int64_t>(Slice);
                    ReadFully(Handle.Fd, Slot.Region, static_cast<size_t>(Bytes), Offset,
                              Paths[Index]);
                    Slot.Bytes = static_cast<size_t>(Bytes);
                    Mixer.Commit();
                }
                Report(Bytes);
            }
        }
        for (size_t U = 0; U < Used.size(); ++U) {
            const TRecoverySet::TRecoverySlice& Slice = Recovery[Used[U]];
            TSliceMixer::TSlot& Slot = Mixer.Next();
            Slot.Tag = -static_cast<int64_t>(U) - 1;
            ReadFully(Set.SourceHandle(Slice.Source), Slot.Region, static_cast<size_t>(Size),
                      Slice.Offset, Set.Sources()[Slice.Source]);
            Slot.Bytes = static_cast<size_t>(Size);
            Mixer.Commit();
        }
        Mixer.Finish();
        Mixer.ToFileLayout();
        // One byte each: the threads set them side by side.
        std::vector<uint8_t> Sound(Count);
        Workers->Run({{Count, [&](size_t Out) {
                           const int64_t Constant = Missing[First + Out];
                           const TRecoverySet::TFile& File = Files[FileOf(Constant)];
                           Sound[Out] =
                               TSliceDigests::Slice(Mixer.Output(Out), static_cast<size_t>(Size),
                                                    Size)
                                   .Md5 ==
                               File.Slices[static_cast<size_t>(Constant - File.FirstConstant)].Md5;
                       }}});
        for (size_t Out = 0; Out < Count; ++Out) {
            const int64_t Constant = Missing[First + Out];
            const size_t Index = FileOf(Constant);
            const TRecoverySet::TFile& File = Files[Index];
            if (!Sound[Out])
                throw EParvoxError(TextWith(txtNotRebuilt, {File.Description.Name}));
            const int64_t Offset = (Constant - File.FirstConstant) * Size;
            Deliver(Index, Offset,
                    {Mixer.Output(Out),
                     static_cast<size_t>(std::min(Size, File.Description.Length - Offset))});
        }
    }
}
