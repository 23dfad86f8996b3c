// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The code of the recovery data. Every input slice of a set has a constant
// of its own; the recovery slice of exponent E is the sum, word by word in
// GF(2^16), of each input slice times its constant to the power E. Both
// making recovery slices and rebuilding lost input slices are such sums with
// other factors, so the mixer does the two: it holds a number of output
// slices and adds batches of input slices into them, each input times a
// factor of its own per output, on all cores, each core on a part of every
// slice's bytes. A batch is filled while the one before is mixed, and goes
// into the outputs in stretches of bounded work.
#pragma once

#include "classWorkers.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class TSliceMixer {
public:
    // An input slice in a batch: the caller's tag for it, the bytes it holds
    // (the rest of its region is zero), the region and its factors, one per output.
    struct TSlot {
        int64_t Tag = 0;
        size_t Bytes = 0;
        uint8_t* Region = nullptr;
        std::vector<uint16_t> Factors;
    };
    // Run for each slot of a batch before it is mixed, on the worker
    // threads, with the region still in the files' layout: sets the factors.
    using TPrepare = std::function<void(TSlot& Slot)>;
    // Run once for each batch, in the order of the batches, beside the
    // slots' preparation: for what needs the bytes in order.
    using TInOrder = std::function<void(std::span<const TSlot> Slots)>;

    // The bytes of input slices that a batch holds, at most.
    static constexpr size_t BatchBytes = 16 << 20;

    // The exponent that makes the constant of the input slice Index of a set
    // (0 to 32767) from 2: the exponents not divisible by 3, 5, 17 or 257.
    [[nodiscard]] static uint16_t ConstantLog(size_t Index);
    // The constant of input slice Index to the power Exponent.
    [[nodiscard]] static uint16_t Factor(size_t Index, uint32_t Exponent);

    // Outputs of SliceSize bytes each, zero; StopWanted is asked between
    // stretches, and a run asked to stop ends with EParvoxStopped.
    TSliceMixer(TWorkers& Workers, int64_t SliceSize, size_t Outputs,
                std::function<bool()> StopWanted);
    TSliceMixer(const TSliceMixer&) = delete;
    TSliceMixer& operator=(const TSliceMixer&) = delete;
    // Waits for a batch still being mixed, without raising.
    ~TSliceMixer();

    TPrepare Prepare;
    TInOrder InOrder;

    // A slice's region: the slice size rounded up to the regions of the field.
    [[nodiscard]] int64_t RegionBytes() const { return Region; }
    [[nodiscard]] size_t Outputs() const { return OutputCount; }
    // The next slot to fill, in the files' layout.
    [[nodiscard]] TSlot& Next();
    // The slot from Next holds its Bytes; mixes the batch once it is full.
    void Commit();
    // Mixes the slots committed so far and waits until every batch is mixed.
    void Finish();
    // The outputs: in the kernel's layout until ToFileLayout, and after it in the files' layout.
    [[nodiscard]] uint8_t* Output(size_t Index) const { return Out.get() + Index * Region; }
    void ToFileLayout();
    // Zero outputs again, for another pass.
    void Clear();

private:
    struct TFree {
        void operator()(uint8_t* Bytes) const;
    };
    using TRegions = std::unique_ptr<uint8_t[], TFree>;
    [[nodiscard]] static TRegions Allocate(size_t Bytes);
    // Starts mixing the filled batch, once the batch before is mixed.
    void Dispatch();
    // Adds every slot of Batch into the outputs' bytes [From, To).
    void MixRange(std::span<const TSlot> Batch, int64_t From, int64_t To) const;
    void CheckStop() const;

    TWorkers& Workers;
    int64_t Region;
    size_t OutputCount;
    std::function<bool()> StopWanted;
    size_t SlotsPerBatch;
    TRegions Out;
    // The batch being filled and the one being mixed.
    TRegions Space[2];
    std::vector<TSlot> Batches[2];
    size_t Filling = 0;
    size_t Filled = 0;
    bool Mixing = false;
};
