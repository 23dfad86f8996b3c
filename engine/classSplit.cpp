// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The split run: the input is opened before anything is deleted, so a
// missing or unreadable input never costs the user the pieces of an earlier split.
#include "classSplit.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <cerrno>

void TSplit::DeletePieces() const {
    for (int32_t Piece = 1; PieceExists(Piece); ++Piece)
        DeleteFileQuietly(PieceFileName(Piece));
}

void TSplit::CheckSplitSize() const {
    if (SplitSize < 1)
        throw EParvoxError("Invalid split file size: " + std::to_string(SplitSize));
}

void TSplit::CreatePiece(int32_t Piece) {
    const std::string Name = PieceFileName(Piece);
    // A piece name that leads to the input itself (a link left behind a gap in
    // the pieces) would be truncated while it is still being read.
    if (SameFile(Name, GetBaseFileName()))
        throw EInOutError(EINVAL);
    OutputFile.Assign(Name);
    OutputFile.Rewrite();
}

void TSplit::Execute() {
    CheckBaseFileName();
    InputFile.Assign(GetBaseFileName());
    InputFile.Reset();
    try {
        DeletePieces();
        CheckSplitSize();
        int32_t Piece = 1;
        CreatePiece(Piece);
        const int32_t Total = InputFile.FileSize();
        int64_t Blocks = 0;
        int32_t Read = 0;
        int32_t Written = 0;
        while (true) {
            ReportProgress(Blocks * BlockSize, Total);
            Read = InputFile.BlockRead(Buffer, BlockSize);
            Written = OutputFile.BlockWrite(Buffer, Read);
            ++Blocks;
            if (Total <= Blocks * BlockSize || Read != BlockSize || Read != Written)
                break;
            if (Blocks % SplitSize == 0) {
                OutputFile.Close();
                CreatePiece(++Piece);
            }
        }
        if (Read != Written)
            throw EParvoxError(txtNotEnoughSpace);
        OutputFile.Close();
        InputFile.Close();
    } catch (...) {
        OutputFile.CloseQuietly();
        InputFile.CloseQuietly();
        throw;
    }
}
