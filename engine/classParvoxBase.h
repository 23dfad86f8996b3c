// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The common base of the four engines: the base file name and the piece
// naming scheme, the join output name, the two file handles, the transfer
// buffer and the progress report.
#pragma once

#include "classByteFile.h"

#include <cstdint>
#include <functional>
#include <string>

// Data moves in blocks of this many bytes, with one progress report per block.
inline constexpr int32_t BlockSize = 1024;

using TProgressEvent = std::function<void(const std::string& Status, long double Fraction)>;

class TParvoxBase {
public:
    TByteFile InputFile;
    TByteFile OutputFile;
    std::string BaseFileName;
    uint8_t Buffer[BlockSize]{};
    TProgressEvent OnProgress;

    void SetBaseFileName(const std::string& Name);
    [[nodiscard]] std::string GetBaseFileName() const;
    // True only for the empty string; a name of blanks is not empty here.
    [[nodiscard]] bool BaseFileNameEmpty() const;
    // Fails with "Empty basefile name" when the name is empty or blank.
    void CheckBaseFileName() const;
    // ".001" for 1, ".1000" for 1000: at least three digits, nothing cut.
    [[nodiscard]] std::string PieceExtension(int32_t PieceNumber) const;
    [[nodiscard]] std::string PieceFileName(int32_t PieceNumber) const;
    [[nodiscard]] bool PieceExists(int32_t PieceNumber) const;
    [[nodiscard]] bool BaseFileExists() const;
    void CheckPieceExtension(int32_t PieceNumber, const std::string& FileName) const;
    // Takes the base name from the name of a piece; the base stays as it was
    // when the name does not carry that piece's extension.
    void SetPieceFileName(int32_t PieceNumber, const std::string& FileName);
    // The base name, or the base name with ".joined" when something exists under it.
    [[nodiscard]] std::string JoinedFileName() const;

protected:
    // Reports Done of Total bytes through OnProgress; an empty run reports 0.
    void ReportProgress(int64_t Done, int32_t Total) const;
};

// The part of a file name from its last period on, or "" when a "/" follows that period.
[[nodiscard]] std::string FileExtension(const std::string& FileName);
