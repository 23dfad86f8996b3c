// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Checking the pieces of a set against its recovery set, and rebuilding
// what is damaged or lost. The check reads every piece and compares each
// slice with its MD5 (a missing piece, a short one and a read that fails
// lose their slices); when the recovery slices are enough, the lost slices
// are rebuilt: the system that the chosen recovery slices make over the
// lost ones is solved once, and then every sound slice and the chosen
// recovery slices are mixed into the lost ones, in passes under a memory
// budget. The rebuilt bytes are handed to the caller per piece range; the
// pieces themselves are only read, never changed.
#pragma once

#include "classParvoxBase.h"
#include "classRecoveryEncoder.h"
#include "classRecoverySet.h"
#include "classWorkers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

class TRecoveryRepair {
public:
    // What the check found of one input file of the set.
    struct TFileState {
        // The file could be opened, and its size then.
        bool Found = false;
        int64_t Size = 0;
        // Its slices that differ from their digests, or that it lacks.
        int64_t Damaged = 0;
        // The file is the one that the set describes: its size, and every
        // slice as its digest says.
        bool Matches = false;
    };
    // Bytes rebuilt for input file File, from Offset on.
    using TDeliver =
        std::function<void(size_t File, int64_t Offset, std::span<const uint8_t> Bytes)>;

    explicit TRecoveryRepair(const TRecoverySet& Set,
                             int64_t Budget = TRecoveryEncoder::MemoryBudget);
    ~TRecoveryRepair();
    TRecoveryRepair(const TRecoveryRepair&) = delete;
    TRecoveryRepair& operator=(const TRecoveryRepair&) = delete;

    // Asked between slices, on any thread: a run asked to stop ends with EParvoxStopped.
    std::function<bool()> StopWanted;
    // Bytes read of those to read, in the check and in each pass of the rebuilding.
    TProgressCounts* Counts = nullptr;

    // Takes the input files of the set: Paths[i] leads to Set.Files()[i], or
    // is empty where that file was not found. A file that cannot be opened
    // is lost like one that is not there. Each is opened again only while
    // it is read, so that a set of many files needs few handles.
    void Open(const std::vector<std::string>& Paths);
    // Input file Index, not found before, is at Path: found once the check began.
    void Found(size_t Index, const std::string& Path);
    // Reads every file opened and compares its slices with their digests, on
    // all cores; then Decide. A read that fails loses its slice only.
    void Check();
    // The same for digests of the slices taken elsewhere (behind a copy),
    // with SliceMd5, of the file's first bytes as far as it was read: to its
    // end (then finished), or short of it.
    void Take(size_t File, const TSliceDigests& Read);
    // Counts the lost slices and, when the recovery slices are enough,
    // decides which of them rebuild the lost ones.
    void Decide();
    [[nodiscard]] const std::vector<TFileState>& Files() const { return States; }
    // The input slices damaged or lost, and the recovery slices there are.
    [[nodiscard]] int64_t MissingSlices() const { return static_cast<int64_t>(Missing.size()); }
    [[nodiscard]] int64_t RecoverySlices() const {
        return static_cast<int64_t>(Set.RecoverySlices().size());
    }
    // Whether every lost slice can be rebuilt.
    [[nodiscard]] bool Repairable() const { return Missing.empty() || Solved; }
    // Rebuilds every lost slice and hands out its bytes, each slice once, as
    // far as its file reaches; raises when the rebuilt bytes do not match
    // their digests (recovery data damaged past its packets' checks).
    void Rebuild(const TDeliver& Deliver);

private:
    // Reads a file's slices in runs: a read that fails ends a run and loses
    // its slice, and the next run begins with the slice after it.
    void ReadSlices(size_t Index);
    // Compares the slices that Read took from slice First on.
    void Compare(size_t Index, const TSliceDigests& Read, size_t First);
    // Chooses the recovery slices and inverts their system over the lost
    // slices; false when it has no solution with these recovery slices.
    [[nodiscard]] bool Solve();
    // The input file that holds the slice of constant index Constant.
    [[nodiscard]] size_t FileOf(int64_t Constant) const;
    // Reads Count bytes of Fd at Offset, or raises the system's error for Name.
    void ReadFully(int Fd, uint8_t* Into, size_t Count, int64_t Offset,
                   const std::string& Name) const;
    void CheckStop() const;
    void Report(int64_t Bytes) const;

    const TRecoverySet& Set;
    int64_t Budget;
    std::unique_ptr<TWorkers> Workers;
    std::vector<std::string> Paths;
    // The largest slice whose padding a check hashes: no larger than the
    // files at hand, unless it is small anyway.
    int64_t Padding = 0;
    // A file of the set opened for reading, closed at the end of its scope;
    // -1 where it cannot be opened.
    struct THandle {
        int Fd = -1;
        THandle() = default;
        THandle(THandle&& Other) noexcept : Fd(std::exchange(Other.Fd, -1)) {}
        THandle(const THandle&) = delete;
        THandle& operator=(const THandle&) = delete;
        THandle& operator=(THandle&&) = delete;
        ~THandle();
    };
    [[nodiscard]] THandle OpenFile(size_t Index) const;
    std::vector<TFileState> States;
    // Per file, which of its slices are lost.
    std::vector<std::vector<bool>> Lost;
    // The constant indices of the lost slices, in order.
    std::vector<int64_t> Missing;
    bool Solved = false;
    // The recovery slices chosen (indices into the set's), and the inverse:
    // lost slice j is the sum over u of Inverse[j * Used.size() + u] times
    // what recovery slice Used[u] holds of the lost slices.
    std::vector<size_t> Used;
    std::vector<uint16_t> Inverse;
    // The same by recovery slice: column u, the factors of recovery slice
    // Used[u] for every lost slice, a region in the kernel's layout.
    std::vector<uint8_t> Columns;
};
