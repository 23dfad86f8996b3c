// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The slices' constants, and batches of input slices mixed into the outputs.
#include "classSliceMixer.h"

#include "classGf16.h"
#include "classParvoxErrors.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Regions start on a page: the kernels and the system's copies are fastest there.
constexpr size_t Alignment = 4096;
// The work of one call of the kernel, in bytes of input times outputs, at
// most: a stop is asked for between calls, and 512 MB takes 0.25 s on the
// plain kernel, 11 ms on the fastest here. The kernel prepares each factor
// once per call, so calls over longer stretches cost less: a stretch of
// a quarter of a slice into 1024 outputs took a third less processor time
// than one of 4 KiB.
constexpr int64_t WorkPerCall = int64_t{512} << 20;
// The kernel adds this many inputs at a time into a stretch of each output.
constexpr size_t KernelInputs = 8;
// The field's multiplicative group has this order: constants repeat after it.
constexpr uint32_t FieldOrder = 65535;

constexpr int64_t RoundUp(int64_t Value, int64_t Step) {
    return (Value + Step - 1) / Step * Step;
}

} // namespace

uint16_t TSliceMixer::ConstantLog(size_t Index) {
    // A power of 2 whose exponent shares no factor with the order 65535
    // (3 * 5 * 17 * 257) has the whole order itself: a constant of a smaller
    // order would repeat its powers, and some choices of recovery slices
    // would then rebuild nothing.
    static const std::array<uint16_t, 32768> Logs = [] {
        std::array<uint16_t, 32768> Made{};
        size_t Count = 0;
        for (uint32_t Exponent = 1; Count < Made.size(); ++Exponent)
            if (Exponent % 3 != 0 && Exponent % 5 != 0 && Exponent % 17 != 0 && Exponent % 257 != 0)
                Made[Count++] = static_cast<uint16_t>(Exponent);
        return Made;
    }();
    return Logs.at(Index);
}

uint16_t TSliceMixer::Factor(size_t Index, uint32_t Exponent) {
    return TGf16::Power(
        2, static_cast<uint32_t>(uint64_t{ConstantLog(Index)} * Exponent % FieldOrder));
}

void TSliceMixer::TFree::operator()(uint8_t* Bytes) const {
    std::free(Bytes);
}

TSliceMixer::TRegions TSliceMixer::Allocate(size_t Bytes) {
    const auto Size = static_cast<size_t>(
        RoundUp(static_cast<int64_t>(std::max<size_t>(Bytes, 1)), static_cast<int64_t>(Alignment)));
    auto* Made = static_cast<uint8_t*>(std::aligned_alloc(Alignment, Size));
    if (Made == nullptr)
        throw std::bad_alloc();
    return TRegions(Made);
}

TSliceMixer::TSliceMixer(TWorkers& Workers, int64_t SliceSize, size_t Outputs,
                         std::function<bool()> StopWanted)
    : Workers(Workers), Region(RoundUp(SliceSize, static_cast<int64_t>(TGf16::RegionAlign))),
      OutputCount(Outputs), StopWanted(std::move(StopWanted)),
      SlotsPerBatch(std::max<size_t>(1, BatchBytes / static_cast<size_t>(Region))),
      Out(Allocate(Outputs * static_cast<size_t>(Region))) {
    std::memset(Out.get(), 0, Outputs * static_cast<size_t>(Region));
    for (size_t Batch = 0; Batch < 2; ++Batch) {
        Space[Batch] = Allocate(SlotsPerBatch * static_cast<size_t>(Region));
        Batches[Batch].resize(SlotsPerBatch);
        for (size_t Slot = 0; Slot < SlotsPerBatch; ++Slot) {
            Batches[Batch][Slot].Region = Space[Batch].get() + Slot * static_cast<size_t>(Region);
            Batches[Batch][Slot].Factors.resize(Outputs);
        }
    }
}

TSliceMixer::~TSliceMixer() {
    if (Mixing) {
        try {
            Workers.Wait();
        } catch (...) {
            // The run that failed or stopped raises its own error.
        }
    }
}

void TSliceMixer::CheckStop() const {
    if (StopWanted && StopWanted())
        throw EParvoxStopped();
}

TSliceMixer::TSlot& TSliceMixer::Next() {
    TSlot& Slot = Batches[Filling][Filled];
    Slot.Tag = 0;
    Slot.Bytes = 0;
    return Slot;
}

void TSliceMixer::Commit() {
    CheckStop();
    TSlot& Slot = Batches[Filling][Filled];
    std::memset(Slot.Region + Slot.Bytes, 0, static_cast<size_t>(Region) - Slot.Bytes);
    if (++Filled == SlotsPerBatch)
        Dispatch();
}

void TSliceMixer::Dispatch() {
    if (Filled == 0)
        return;
    if (Mixing) {
        Mixing = false;
        Workers.Wait();
    }
    const std::span<TSlot> Batch(Batches[Filling].data(), Filled);
    const auto Align = static_cast<int64_t>(TGf16::RegionAlign);
    const int64_t Parts = std::min<int64_t>(2 * Workers.Count(), Region / Align);
    std::vector<TWorkers::TStage> Stages{
        {Filled + 1,
         [this, Batch](size_t Task) {
             // A slot's factors can take a while where many lost slices are rebuilt.
             CheckStop();
             if (Task == 0 && InOrder)
                 InOrder(Batch);
             else if (Task > 0 && Prepare)
                 Prepare(Batch[Task - 1]);
         }},
        {Filled, [this, Batch](size_t Task) { TGf16::ToKernelLayout(Batch[Task].Region, Region); }},
        {static_cast<size_t>(Parts), [this, Batch, Parts, Align](size_t Task) {
             const auto Cut = [&](int64_t Part) { return Region / Align * Part / Parts * Align; };
             MixRange(Batch, Cut(static_cast<int64_t>(Task)), Cut(static_cast<int64_t>(Task) + 1));
         }}};
    Workers.Start(std::move(Stages));
    Mixing = true;
    Filling ^= 1;
    Filled = 0;
}

void TSliceMixer::MixRange(std::span<const TSlot> Batch, int64_t From, int64_t To) const {
    // Stretches of the outputs and groups of inputs that keep each call's
    // work within bounds, as long as that allows.
    const auto Align = static_cast<int64_t>(TGf16::RegionAlign);
    const auto Outputs = static_cast<int64_t>(std::max<size_t>(OutputCount, 1));
    const int64_t Stretch = std::clamp(WorkPerCall / Outputs / Align * Align, Align, To - From);
    auto Group = static_cast<size_t>(std::clamp<int64_t>(WorkPerCall / (Outputs * Stretch), 1,
                                                         static_cast<int64_t>(Batch.size())));
    if (Group > KernelInputs)
        Group -= Group % KernelInputs;
    std::vector<uint8_t*> Outs(OutputCount);
    std::vector<const uint8_t*> Ins;
    std::vector<uint16_t> Factors;
    for (int64_t At = From; At < To; At += Stretch)
        for (size_t First = 0; First < Batch.size(); First += Group) {
            CheckStop();
            const size_t Count = std::min(Group, Batch.size() - First);
            Ins.resize(Count);
            // The kernel takes the factors output by output.
            Factors.resize(Count * OutputCount);
            for (size_t In = 0; In < Count; ++In) {
                Ins[In] = Batch[First + In].Region + At;
                for (size_t Out = 0; Out < OutputCount; ++Out)
                    Factors[Out * Count + In] = Batch[First + In].Factors[Out];
            }
            for (size_t Out = 0; Out < OutputCount; ++Out)
                Outs[Out] = Output(Out) + At;
            TGf16::MultiplyAddBatch(Ins.data(), Count, Factors.data(), Outs.data(), OutputCount,
                                    static_cast<size_t>(std::min(Stretch, To - At)));
        }
}

void TSliceMixer::Finish() {
    Dispatch();
    if (Mixing) {
        Mixing = false;
        Workers.Wait();
    }
}

void TSliceMixer::ToFileLayout() {
    Workers.Run({{OutputCount, [this](size_t Task) {
                      TGf16::FromKernelLayout(Output(Task), static_cast<size_t>(Region));
                  }}});
}

void TSliceMixer::Clear() {
    Workers.Run({{OutputCount, [this](size_t Task) {
                      std::memset(Output(Task), 0, static_cast<size_t>(Region));
                  }}});
}
