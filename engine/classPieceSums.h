// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The checksum file of a set of pieces. A split writes NAME.sha256 in the
// layout that sha256sum writes and reads (64 lower-case hex digits, two
// spaces, the bare file name, escaped as sha256sum escapes it), a line for
// each piece in order and one for the whole file, line by line as the
// digests come. A join reads NAME.sha256, or NAME.crc of the file managers'
// splitters (filename=, size=, crc32=), with a strict reader that takes a
// bounded number of lines and only the bare names of this set, as a stream:
// what it keeps is the whole file's digest and, only for a list whose pieces
// are out of order, a table of 32 bytes a piece. It never opens another file.
#pragma once

#include "classByteFile.h"
#include "classPieceHasher.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TPieceSums {
public:
    // Whether the checksum file Name is the one of a set of Pieces pieces
    // of the file WholeName (a bare name): it lists each of the pieces once,
    // the whole file at most once, and nothing else. A file that cannot be
    // read is not, nor is any for a set of no pieces.
    [[nodiscard]] static bool IsTheSets(const std::string& Name, const std::string& WholeName,
                                        int64_t Pieces);

    // Begins to write the checksum file of the pieces of WholeName (a bare
    // name) into File, a new output open for writing, which the caller
    // closes once FinishWriting has returned.
    void StartWriting(TByteFile& File, const std::string& WholeName);
    // Adds the lines of the pieces whose digests Hasher has done.
    void WritePieces(TPieceHasher& Hasher);
    // Once the digests are all done: the last pieces' lines and the whole
    // file's, all written out.
    void FinishWriting(TPieceHasher& Hasher);

    // The highest piece that NAME.sha256 beside the pieces of Base lists,
    // where it lists a line for every piece up to that; 0 otherwise.
    [[nodiscard]] static int64_t HighestListed(const std::string& Base);
    // The digest that NAME.sha256 beside the pieces of Base lists for piece
    // Piece, if it lists one; read apart from any loaded file.
    [[nodiscard]] static std::optional<TPieceHasher::TPieceDigest>
    ListedDigest(const std::string& Base, int64_t Piece);

    // Reads the checksum file beside the Count pieces of Base, if there is
    // one, and refuses the join before it writes anything when the file
    // cannot be read, lists a piece that is not there, or lists pieces but
    // not one that is there. Total is the bytes of the pieces, or -1 while
    // some are still to be found. Returns false when there is no checksum file.
    bool Load(const std::string& Base, int64_t Count, int64_t Total);
    // Starts Hasher on what the loaded file checks, and on Feed where given.
    void StartChecks(TPieceHasher& Hasher, TPieceHasher::TFeed Feed = {}) const;
    // Whether a checksum file was loaded.
    [[nodiscard]] bool Loaded() const { return Kind != TKind::None; }
    // Checks the pieces whose digests Hasher has done, and raises the
    // message of the first that differs from the one that was split.
    void CheckPieces(TPieceHasher& Hasher);
    // Once the digests are all done: raises the message of a damaged piece
    // or of a whole file that differs from the one that was split.
    void CheckWhole(TPieceHasher& Hasher);
    // The line that says what was checked: "All 7 pieces match film.mkv.sha256."
    [[nodiscard]] std::string Summary() const;

    // How the messages name a piece, where not by its bare name: with its
    // folder, for a set whose pieces lie in several.
    std::function<std::string(int64_t Piece)> PieceShown;

private:
    void LoadSha256();
    void LoadCrc(int64_t Total);
    // The digest that the file lists for piece Piece, the next one in order
    // where the file lists them in order.
    [[nodiscard]] TPieceHasher::TPieceDigest Listed(int64_t Piece);
    // The piece that the file lists with Digest, or 0.
    [[nodiscard]] int64_t ListedWith(const TPieceHasher::TPieceDigest& Digest);
    [[noreturn]] void Unreadable() const;
    // Calls Visit with each piece line of NAME.sha256 beside the pieces of
    // Base, while Visit asks for more; nothing where the file is not there
    // or cannot be read as one.
    static void ForEachListed(
        const std::string& Base,
        const std::function<bool(int64_t Piece, const TPieceHasher::TPieceDigest& Digest)>& Visit);
    void Flush();

    // Where a reading of the file's lines stands: the rest of the last block
    // read, and the lines so far.
    struct TReading {
        std::span<const uint8_t> Rest;
        int64_t Lines = 0;
    };
    class TLines;

    enum class TKind { None, Sha256, Crc32 };
    TKind Kind = TKind::None;
    // The bare names of the whole file and of the checksum file, for the messages.
    std::string WholeName;
    std::string FileName;
    TByteFile File;
    int64_t Count = 0;
    // The pieces that the file lists, and whether in their order.
    int64_t ListedPieces = 0;
    bool InOrder = true;
    std::vector<TPieceHasher::TPieceDigest> Table;
    // The reading that hands out the pieces' lines in order.
    TReading InTurn;
    // The pieces checked or written so far.
    int64_t Done = 0;
    TPieceHasher::TDigest Whole;
    int64_t Size = -1;
    // What the split has still to write, and where.
    std::string Text;
    TByteFile* Output = nullptr;
};
