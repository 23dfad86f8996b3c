// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The recovery set that lies beside a set of pieces, as read from its PAR2
// files (written by Parvox or by another PAR2 program): the slice size, the
// input files with their digests, and where each recovery slice lies. Only
// the files named after the pieces are opened (NAME.par2 and NAME.*.par2),
// and only as regular files; packets that are damaged are skipped, and
// copies of the same packet in several files serve as one. What is kept is
// bounded by fixed limits and by the set that the main packet describes,
// never by a count read from a file.
#pragma once

#include "classMd5.h"
#include "classPar2Packets.h"
#include "classSliceDigests.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TRecoverySet {
public:
    // An input file of the set, in the main packet's order.
    struct TFile {
        TPar2Packets::TFile Description;
        std::vector<TSliceDigests::TSlice> Slices;
        // The index of the constant of its first slice.
        int64_t FirstConstant = 0;
    };
    // A recovery slice: its exponent, and where its data lies.
    struct TRecoverySlice {
        uint32_t Exponent = 0;
        size_t Source = 0;
        int64_t Offset = 0;
    };

    TRecoverySet() = default;
    TRecoverySet(const TRecoverySet&) = delete;
    TRecoverySet& operator=(const TRecoverySet&) = delete;
    ~TRecoverySet();

    // Finds the recovery files of the pieces named Base (without a folder)
    // in each of Folders and reads them. False when there are none. Raises
    // when they hold no complete set, or when the set names a file that is
    // not beside them (a folder, "..").
    bool Load(const std::vector<std::string>& Folders, const std::string& Base);

    [[nodiscard]] int64_t SliceSize() const { return Slice; }
    [[nodiscard]] const std::vector<TFile>& Files() const { return InputFiles; }
    // The index in Files of the file named Name, or -1.
    [[nodiscard]] int64_t FileNamed(const std::string& Name) const;
    // By exponent; no two share one.
    [[nodiscard]] const std::vector<TRecoverySlice>& RecoverySlices() const { return Recovery; }
    // The recovery files read, with their folders, and a handle of each to read slices through.
    [[nodiscard]] const std::vector<std::string>& Sources() const { return Names; }
    [[nodiscard]] int SourceHandle(size_t Source) const { return Handles.at(Source); }
    // The size of the largest recovery file read.
    [[nodiscard]] int64_t LargestSource() const { return Largest; }
    // The creator packet's text: the program that made the set.
    [[nodiscard]] const std::string& Creator() const { return Made; }
    // Whether the recovery file Source holds packets of this set and of no other.
    [[nodiscard]] bool OnlyOfTheSet(size_t Source) const { return Only.at(Source); }

private:
    // The files of the set in Folders: Base.par2 first, then the others by name.
    [[nodiscard]] static std::vector<std::string> Find(const std::vector<std::string>& Folders,
                                                       const std::string& Base);
    void Close() noexcept;

    int64_t Slice = 0;
    std::vector<TFile> InputFiles;
    std::map<std::string, size_t> Named;
    std::vector<TRecoverySlice> Recovery;
    std::vector<std::string> Names;
    std::vector<int> Handles;
    int64_t Largest = 0;
    std::string Made;
    std::vector<bool> Only;
};
