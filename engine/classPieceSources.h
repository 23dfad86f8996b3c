// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the pieces of a set lie. A join looks for its pieces in the folder
// of the first piece, then in the folders it is given, and, during the run,
// in those that the user names when the next piece is in none of them: a
// set spread over several sticks or discs, joined where the pieces lie with
// one drive for all. Each piece is taken down before it is copied: where two
// folders hold it, the copy that the checksum file lists is taken, copies
// with equal bytes are one piece, and two that differ with no list to tell
// them apart refuse the join; it is opened and measured, and one print
// stands for the files of all pieces. What is kept does not grow with the
// number of pieces: the folders, and the stretches of pieces that lie in each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

class TPieceSources {
public:
    // A piece of the set is in none of the folders known.
    struct TQuestion {
        // Its name without a folder: "film.mkv.003".
        std::string Piece;
        // Whether it may be skipped, to be rebuilt from recovery data.
        bool MaySkip = false;
    };
    struct TAnswer {
        enum class TKind { Folder, Skip, Stop };
        TKind Kind = TKind::Stop;
        // The folder to look in, for Folder.
        std::string Folder;
    };
    // Asked on the run's thread, which waits for the answer.
    using TAsk = std::function<TAnswer(const TQuestion&)>;

    // Whether a piece that is nowhere can be rebuilt from recovery data;
    // where unset, none can, and none is skipped. Without Ask, such a piece
    // is missing without a question, and the set holds as many as Expect says.
    std::function<bool(int64_t Piece)> Rebuildable;

    // A run begins with the pieces of Base, the first piece's full name
    // without its extension: they are looked for in its folder, then in
    // Folders, and the set is the pieces from 1 up to the first that is in
    // none of them. With Ask, it holds as many as its checksum file lists,
    // and Ask is asked for those that are nowhere. Heard is called between
    // reads, to end the run there when a stop is asked for.
    void Begin(const std::string& Base, const std::vector<std::string>& Folders, TAsk Ask,
               std::function<void()> Heard);
    // The set holds Count pieces at least, where someone can be asked for
    // those that are nowhere yet, or recovery data rebuilds them.
    void Expect(int64_t Count);
    // Takes down Piece, the next one: which copy, its size and its file.
    // Where no folder known holds it, BeforeAsking runs, then the question;
    // a piece skipped has no path. Without Ask, or for a piece beyond the
    // set, a piece that is nowhere raises "File not found".
    void Reach(int64_t Piece, const std::function<void()>& BeforeAsking = {});

    // The folders looked in, the first piece's first.
    [[nodiscard]] const std::vector<std::string>& Folders() const { return Named; }
    // Base in the first folder that holds its checksum file (NAME.sha256 or
    // NAME.crc), or Base itself where none does.
    [[nodiscard]] const std::string& SumsBase() const { return Sums; }
    // The pieces of the set; those found at the start, in a run from 1; those taken down.
    [[nodiscard]] int64_t Count() const { return Pieces; }
    [[nodiscard]] int64_t Found() const { return FoundRun; }
    [[nodiscard]] int64_t Reached() const { return Taken; }
    // The bytes of the pieces taken down, and the room they take on their media.
    [[nodiscard]] int64_t Total() const { return Bytes; }
    [[nodiscard]] int64_t Allocated() const { return Blocks; }
    // The bytes of the set as far as they can be told before all its pieces
    // are there: the pieces still to come as large as the first, and the
    // least that they can be, with the last of them empty.
    [[nodiscard]] int64_t Expected() const;
    [[nodiscard]] int64_t Least() const;
    // The print of the files of the pieces taken down, in order.
    [[nodiscard]] uint64_t Print() const { return Prints; }
    // The full name of a piece taken down, empty for one skipped; of one
    // not taken down yet, its name in the first piece's folder.
    [[nodiscard]] std::string Path(int64_t Piece) const;
    // How messages name a piece: with its folder where the set lies in
    // several, by its bare name otherwise.
    [[nodiscard]] std::string Shown(int64_t Piece) const;
    // The folder that a piece taken down comes from, where the set lies in
    // several; empty otherwise.
    [[nodiscard]] std::string Source(int64_t Piece) const;
    // Whether any folder known holds a file under the name of Piece.
    [[nodiscard]] bool Has(int64_t Piece) const;

    // Adds the identity of a piece's file to Print: which file it is, its
    // size and the times of its last changes, so that one print stands for
    // a whole set, however many pieces it has.
    static void AddToPrint(uint64_t& Print, const struct stat& Piece);

private:
    // No folder: a piece skipped.
    static constexpr size_t Nowhere = SIZE_MAX;

    void AddFolder(const std::string& Folder);
    // The base name, and a piece's full name, in Folder.
    [[nodiscard]] std::string BaseIn(size_t Folder) const;
    [[nodiscard]] std::string PathIn(size_t Folder, int64_t Piece) const;
    // The folder whose copy of Piece is the piece, of those in Holding.
    [[nodiscard]] size_t Choose(int64_t Piece, const std::vector<size_t>& Holding) const;
    // Opens and measures the piece in Folder, and keeps where it lies.
    void Take(int64_t Piece, size_t Folder);
    // Piece, the next one, lies in Folder.
    void Keep(int64_t Piece, size_t Folder);
    [[nodiscard]] size_t FolderOfPiece(int64_t Piece) const;
    // The bytes taken down and More pieces as large as the first.
    [[nodiscard]] int64_t WithPieces(int64_t More) const;
    // Whether the pieces lie, or are still to be found, in several folders.
    [[nodiscard]] bool Spread() const;

    std::string BaseName;
    std::string Bare;
    // The base name in the folder of the checksum file.
    std::string Sums;
    std::vector<std::string> Named;
    // The device and inode of each folder, to look in each one once.
    std::vector<std::pair<dev_t, ino_t>> Ids;
    TAsk Ask;
    std::function<void()> Heard;
    int64_t Pieces = 0;
    int64_t FoundRun = 0;
    int64_t Taken = 0;
    int64_t Bytes = 0;
    int64_t Blocks = 0;
    int64_t FirstSize = 0;
    uint64_t Prints = 0;
    // The first piece of each stretch that lies in one folder, and that folder.
    std::map<int64_t, size_t> Stretches;
    bool Several = false;
};
