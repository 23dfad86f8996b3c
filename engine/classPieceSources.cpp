// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The folders of a set's pieces, the copy taken of each piece, and the
// question for a medium that is not in.
#include "classPieceSources.h"

#include "classByteFile.h"
#include "classParvoxBase.h"
#include "classParvoxErrors.h"
#include "classPieceHasher.h"
#include "classPieceSums.h"
#include "txt.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>

void TPieceSources::AddToPrint(uint64_t& Print, const struct stat& Piece) {
    for (const auto Value :
         {static_cast<uint64_t>(Piece.st_dev), static_cast<uint64_t>(Piece.st_ino),
          static_cast<uint64_t>(Piece.st_size), static_cast<uint64_t>(Piece.st_mtim.tv_sec),
          static_cast<uint64_t>(Piece.st_mtim.tv_nsec), static_cast<uint64_t>(Piece.st_ctim.tv_sec),
          static_cast<uint64_t>(Piece.st_ctim.tv_nsec)}) {
        Print = (Print ^ Value) * 0x9E37'79B9'7F4A'7C15U;
        Print ^= Print >> 29;
    }
}

void TPieceSources::Begin(const std::string& Base, const std::vector<std::string>& Folders,
                          TAsk AskFor, std::function<void()> HeardFor) {
    BaseName = Base;
    Bare = BareName(Base);
    Named.clear();
    Ids.clear();
    Stretches.clear();
    Ask = std::move(AskFor);
    Heard = std::move(HeardFor);
    Pieces = FoundRun = Taken = Bytes = Blocks = FirstSize = 0;
    Prints = 0;
    Several = false;
    AddFolder(FolderOf(Base));
    for (const std::string& Folder : Folders)
        AddFolder(Folder);
    while (Has(FoundRun + 1))
        ++FoundRun;
    Pieces = FoundRun;
    Sums = BaseName;
    for (size_t Folder = 0; Folder < Named.size() && Sums == BaseName; ++Folder)
        for (const char* Extension : {".sha256", ".crc"})
            if (FileExists(BaseIn(Folder) + Extension)) {
                Sums = BaseIn(Folder);
                break;
            }
    if (Ask)
        Expect(TPieceSums::HighestListed(Sums));
}

void TPieceSources::Expect(int64_t Count) {
    if (Ask || Rebuildable)
        Pieces = std::max(Pieces, Count);
}

void TPieceSources::AddFolder(const std::string& Folder) {
    if (std::find(Named.begin(), Named.end(), Folder) != Named.end())
        return;
    // Another name of a folder known, which would offer every piece twice.
    struct stat Status {};
    const bool Known = ::stat(Folder.c_str(), &Status) == 0;
    if (Known &&
        std::find(Ids.begin(), Ids.end(), std::pair{Status.st_dev, Status.st_ino}) != Ids.end())
        return;
    Named.push_back(Folder);
    Ids.emplace_back(Known ? Status.st_dev : 0, Known ? Status.st_ino : 0);
}

std::string TPieceSources::BaseIn(size_t Folder) const {
    if (Folder == 0)
        return BaseName;
    const std::string& Name = Named[Folder];
    return Name.ends_with('/') ? Name + Bare : Name + '/' + Bare;
}

std::string TPieceSources::PathIn(size_t Folder, int64_t Piece) const {
    return BaseIn(Folder) + TParvoxBase::PieceExtension(Piece);
}

bool TPieceSources::Has(int64_t Piece) const {
    for (size_t Folder = 0; Folder < Named.size(); ++Folder)
        if (FileExists(PathIn(Folder, Piece)))
            return true;
    return false;
}

void TPieceSources::Reach(int64_t Piece, const std::function<void()>& BeforeAsking) {
    for (;;) {
        std::vector<size_t> Holding;
        // A piece found at the start in the one folder needs no second look.
        if (Named.size() == 1 && Piece <= FoundRun)
            Holding.push_back(0);
        else
            for (size_t Folder = 0; Folder < Named.size(); ++Folder)
                if (FileExists(PathIn(Folder, Piece)))
                    Holding.push_back(Folder);
        if (!Holding.empty()) {
            Take(Piece, Choose(Piece, Holding));
            return;
        }
        // Without anyone to ask, a piece that recovery data rebuilds is missing.
        if (!Ask && Piece <= Pieces && Rebuildable && Rebuildable(Piece)) {
            Keep(Piece, Nowhere);
            return;
        }
        if (!Ask || Piece > Pieces)
            throw EInOutError(ENOENT, PathIn(0, Piece));
        if (BeforeAsking)
            BeforeAsking();
        Heard();
        const bool MaySkip = Rebuildable && Rebuildable(Piece);
        const TAnswer Answer = Ask({Bare + TParvoxBase::PieceExtension(Piece), MaySkip});
        // A stop asked for while the question waited ends the run, whatever the answer.
        Heard();
        if (Answer.Kind == TAnswer::TKind::Stop)
            throw EParvoxStopped();
        if (Answer.Kind == TAnswer::TKind::Skip && MaySkip) {
            Keep(Piece, Nowhere);
            return;
        }
        if (Answer.Kind == TAnswer::TKind::Folder)
            AddFolder(Answer.Folder);
    }
}

size_t TPieceSources::Choose(int64_t Piece, const std::vector<size_t>& Holding) const {
    if (Holding.size() == 1)
        return Holding.front();
    // Two names of one file are one copy.
    std::vector<size_t> Folders;
    std::vector<std::unique_ptr<TByteFile>> Copies;
    for (const size_t Folder : Holding) {
        auto Copy = std::make_unique<TByteFile>();
        Copy->Assign(PathIn(Folder, Piece));
        Copy->Reset();
        if (std::none_of(Copies.begin(), Copies.end(),
                         [&Copy](const auto& Other) { return Other->Id() == Copy->Id(); })) {
            Folders.push_back(Folder);
            Copies.push_back(std::move(Copy));
        }
    }
    if (Copies.size() == 1)
        return Folders.front();
    std::vector<TPieceHasher::TPieceDigest> Digests;
    for (const auto& Copy : Copies)
        Digests.push_back(TPieceHasher::DigestOf(*Copy, Heard));
    const auto Differs = std::find_if(Digests.begin(), Digests.end(), [&](const auto& Digest) {
        return Digest != Digests.front();
    });
    if (Differs == Digests.end())
        return Folders.front();
    // Only copies that differ need the list, read once more for them.
    if (const auto Listed = TPieceSums::ListedDigest(Sums, Piece)) {
        const auto Matches = std::find(Digests.begin(), Digests.end(), *Listed);
        if (Matches != Digests.end())
            return Folders[static_cast<size_t>(Matches - Digests.begin())];
        throw EParvoxError(TextWith(txtPieceDamaged,
                                    {PathIn(Folders.front(), Piece), BareName(Sums) + ".sha256"}));
    }
    throw EParvoxError(TextWith(
        txtCopiesDiffer, {PathIn(Folders.front(), Piece),
                          PathIn(Folders[static_cast<size_t>(Differs - Digests.begin())], Piece)}));
}

void TPieceSources::Take(int64_t Piece, size_t Folder) {
    TByteFile File;
    File.Assign(PathIn(Folder, Piece));
    File.Reset();
    const struct stat Status = File.Status();
    // No file system holds a file beyond the largest file size.
    if (__builtin_add_overflow(Bytes, Status.st_size, &Bytes))
        throw EParvoxError(txtOutputTooLarge);
    Blocks += Status.st_blocks * 512;
    AddToPrint(Prints, Status);
    if (Piece == 1)
        FirstSize = Status.st_size;
    File.Close();
    Keep(Piece, Folder);
}

void TPieceSources::Keep(int64_t Piece, size_t Folder) {
    if (Stretches.empty() || std::prev(Stretches.end())->second != Folder)
        Stretches.emplace(Piece, Folder);
    Several = Several || (Folder != Nowhere && Folder != Stretches.begin()->second);
    Taken = Piece;
}

size_t TPieceSources::FolderOfPiece(int64_t Piece) const {
    // A piece not taken down yet is named where the first piece lies.
    if (Piece > Taken || Stretches.empty())
        return 0;
    return std::prev(Stretches.upper_bound(Piece))->second;
}

int64_t TPieceSources::WithPieces(int64_t More) const {
    int64_t Added = 0;
    int64_t Sum = 0;
    if (__builtin_mul_overflow(More, FirstSize, &Added) ||
        __builtin_add_overflow(Bytes, Added, &Sum))
        return INT64_MAX;
    return Sum;
}

int64_t TPieceSources::Expected() const {
    return WithPieces(Pieces - Taken);
}

int64_t TPieceSources::Least() const {
    return WithPieces(std::max<int64_t>(Pieces - Taken - 1, 0));
}

std::string TPieceSources::Path(int64_t Piece) const {
    const size_t Folder = FolderOfPiece(Piece);
    return Folder == Nowhere ? std::string() : PathIn(Folder, Piece);
}

bool TPieceSources::Spread() const {
    return Several || Pieces > FoundRun;
}

std::string TPieceSources::Shown(int64_t Piece) const {
    return Spread() ? Path(Piece) : Bare + TParvoxBase::PieceExtension(Piece);
}

std::string TPieceSources::Source(int64_t Piece) const {
    const size_t Folder = FolderOfPiece(Piece);
    return Spread() && Folder != Nowhere ? Named[Folder] : std::string();
}
