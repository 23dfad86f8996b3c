// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// What a join does with the recovery files beside its pieces: which pieces
// the set describes and how long each is, what the missing and short pieces
// lose before anything is written, the digests of the slices taken behind
// the copy, the lost slices rebuilt into the joined file, and what the
// completion says of it. The pieces themselves are only read.
#pragma once

#include "classPieceHasher.h"
#include "classRecoveryRepair.h"
#include "classRecoverySet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TJoinRecovery {
public:
    // Writes Bytes into the joined file at Offset.
    using TWrite = std::function<void(int64_t Offset, std::span<const uint8_t> Bytes)>;

    TJoinRecovery() = default;
    TJoinRecovery(const TJoinRecovery&) = delete;
    TJoinRecovery& operator=(const TJoinRecovery&) = delete;

    // The pieces, their full name without the extension, whose recovery
    // file File is (NAME.par2 or NAME.volA+B.par2, with its folder); empty
    // for another name. A set whose first piece is lost is picked by them.
    [[nodiscard]] static std::string PiecesOf(const std::string& File);
    // Reads the recovery files of the pieces named Base (without a folder)
    // in Folders; false when there are none. Raises when they are unusable
    // or name a file elsewhere.
    bool Load(const std::vector<std::string>& Folders, const std::string& Base);
    // The highest piece that the set describes, and the bytes of all its pieces.
    [[nodiscard]] int64_t Pieces() const { return static_cast<int64_t>(ByPiece.size()); }
    [[nodiscard]] int64_t Bytes() const { return Described; }
    // The length that the set gives piece Piece (from 1), or -1 beyond its pieces.
    [[nodiscard]] int64_t Length(int64_t Piece) const;
    // Piece Piece is at Path with Size bytes, or missing (an empty Path).
    void Found(int64_t Piece, const std::string& Path, int64_t Size);
    // Before anything is written: raises when the missing and short pieces
    // found so far lose more than the recovery data rebuilds.
    void CheckUpFront(TProgressCounts* Counts, std::function<bool()> StopWanted);
    // The copy hands over piece Piece as the Index-th that it copies (from 0).
    void Copying(size_t Index, int64_t Piece);
    // Whether piece Piece, were it missing too, could be rebuilt from the
    // recovery data with what is known to be lost so far.
    [[nodiscard]] bool CanRebuild(int64_t Piece) const;

    // Takes the digests of the slices of the pieces as the copy hands them
    // over (the present ones, in order), on a thread a core.
    [[nodiscard]] TPieceHasher::TFeed Feed();
    // Once the copy has ended and its digests are taken: whether a piece
    // differs from what the set describes, so that something is to be
    // rebuilt and checked again; raises when it cannot be rebuilt.
    [[nodiscard]] bool Damaged();
    // Rebuilds every lost slice into the joined file.
    void Rebuild(const TWrite& Write);
    // Reads the joined file Joined back and compares each slice with the
    // set's CRC-32 of it, on all cores; raises for one that differs.
    void CheckJoined(const std::string& Joined) const;
    // What was rebuilt ("film.mkv.003 was damaged: 3 blocks were rebuilt
    // from the recovery data."), empty when nothing was; and the check
    // against the set's own digests.
    [[nodiscard]] std::string Rebuilt() const;
    [[nodiscard]] std::string Summary() const;
    // The pieces that lost slices, as a message names them: "film.mkv.003".
    [[nodiscard]] std::string Damage() const;

private:
    // What piece Piece is in the set, where it begins in the joined file,
    // and, once it is found, where it is.
    struct TPiece {
        int64_t File = -1;
        int64_t Offset = 0;
        bool Known = false;
        std::string Path;
        int64_t Size = -1;
    };
    [[nodiscard]] std::string PieceName(size_t File) const;
    // The files' names: "a", "a and b", "a, b, c and 4 more".
    [[nodiscard]] std::string Named(std::vector<size_t> Files) const;
    // The files that lost slices, once they are known.
    [[nodiscard]] std::vector<size_t> DamagedFiles() const;
    // The slices of File lost where only Size bytes of it are at hand.
    [[nodiscard]] int64_t LostOf(size_t File, int64_t Size) const;
    [[noreturn]] void BeyondRepair(int64_t Lost, const std::vector<size_t>& Files) const;

    std::string Base;
    TRecoverySet Set;
    std::unique_ptr<TRecoveryRepair> Repair;
    std::vector<TPiece> ByPiece;
    // The piece of each input file of the set (from 1), 0 for a file that is no piece.
    std::vector<int64_t> PieceOfFile;
    // The digests of the piece that each feed thread reads, and the file of
    // each piece copied, in order (-1 for one that the set does not describe).
    std::vector<std::optional<TSliceDigests>> Reading;
    std::vector<int64_t> FedFiles;
    int64_t Described = 0;
    int64_t RebuiltSlices = 0;
    TProgressCounts* Counts = nullptr;
    std::function<bool()> StopWanted;
};
