// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join run: every piece is opened and measured before the output is
// created, so an unreadable piece or an oversized set never truncates an
// earlier output.
#include "classJoin.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <cerrno>

int32_t TJoin::TotalSize() {
    int64_t Total = 0;
    for (int32_t Piece = 1; PieceExists(Piece); ++Piece) {
        TByteFile PieceFile;
        PieceFile.Assign(PieceFileName(Piece));
        PieceFile.Reset();
        Total += PieceFile.FileSize();
        PieceFile.Close();
        // The output could not be read back by any of the engines.
        if (Total >= MaxFileSize)
            throw EInOutError(EOVERFLOW);
    }
    return static_cast<int32_t>(Total);
}

void TJoin::Execute() {
    const int32_t Total = TotalSize();
    int32_t Piece = 1;
    InputFile.Assign(PieceFileName(Piece));
    // Decided now: the previous output under the base name must not be overwritten.
    OutputFile.Assign(JoinedFileName());
    // An output name that leads to one of the pieces (a link) would truncate
    // that piece before it is read.
    for (int32_t Each = 1; PieceExists(Each); ++Each)
        if (SameFile(OutputFile.Name(), PieceFileName(Each)))
            throw EInOutError(EINVAL);
    InputFile.Reset();
    try {
        OutputFile.Rewrite();
        // Every read counts as a full block, so the count may pass the total.
        int64_t Blocks = 0;
        while (true) {
            ReportProgress(Blocks * BlockSize, Total);
            const int32_t Read = InputFile.BlockRead(Buffer, BlockSize);
            const int32_t Written = OutputFile.BlockWrite(Buffer, Read);
            ++Blocks;
            if (Written != Read)
                throw EParvoxError(txtDestinationFull);
            if (Read == BlockSize)
                continue;
            InputFile.Close();
            if (!PieceExists(++Piece))
                break;
            InputFile.Assign(PieceFileName(Piece));
            InputFile.Reset();
        }
        OutputFile.Close();
    } catch (...) {
        // The partial output stays on disk; it is only closed.
        OutputFile.CloseQuietly();
        InputFile.CloseQuietly();
        throw;
    }
}
