// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The checksum file of a set of pieces. A split writes NAME.sha256 in the
// layout that sha256sum writes and reads (64 lower-case hex digits, two
// spaces, the bare file name), a line for each piece in order and one for
// the whole file. A join reads NAME.sha256, or NAME.crc of the file
// managers' splitters (filename=, size=, crc32=), with a strict reader that
// takes a bounded number of bytes and lines and only the bare names of this
// set; it never opens another file.
#pragma once

#include "classByteFile.h"
#include "classPieceHasher.h"

#include <cstdint>
#include <string>
#include <vector>

class TPieceSums {
public:
    // The file name without its folder.
    [[nodiscard]] static std::string BareName(const std::string& Name);

    // Writes the checksum file Name for the pieces PieceNames (bare names) of
    // the file WholeName, with the digests that Hasher took; under another
    // name first, then renamed, so that no half-written file is ever there.
    // Returns the file written.
    static TFileId Write(const std::string& Name, mode_t Permissions, const std::string& WholeName,
                         const std::vector<std::string>& PieceNames, const TPieceHasher& Hasher);

    // Reads the checksum file beside the pieces of Base, if there is one, and
    // refuses the join before it writes anything when the file cannot be read,
    // lists a piece that is not there, or does not list one that is.
    // Returns false when there is no checksum file.
    bool Load(const std::string& Base, const std::vector<std::string>& PieceNames, int64_t Total);
    // Starts Hasher on what the loaded file checks.
    void StartChecks(TPieceHasher& Hasher) const;
    // Raises the message that names the first damaged piece, if there is one.
    void CheckPieces(const TPieceHasher& Hasher) const;
    // Once the copy has ended: raises the message of a damaged piece or of a
    // whole file that differs from the one that was split.
    void CheckWhole(TPieceHasher& Hasher) const;
    // The line that says what was checked: "All 7 pieces match film.mkv.sha256."
    [[nodiscard]] std::string Summary() const;

private:
    // Reads at most MaxBytes of the file, or refuses it as unreadable.
    [[nodiscard]] std::string ReadBounded(const std::string& Name, int64_t MaxBytes) const;
    void LoadSha256(const std::string& Text, const std::string& WholeName);
    void LoadCrc(const std::string& Text, const std::string& WholeName, int64_t Total);
    [[noreturn]] void Unreadable() const;

    enum class TKind { None, Sha256, Crc32 };
    TKind Kind = TKind::None;
    // The bare name of the checksum file, for the messages.
    std::string FileName;
    std::vector<std::string> Pieces;
    std::vector<TPieceHasher::TDigest> Expected;
    TPieceHasher::TDigest Whole;
    int64_t Size = -1;
};
