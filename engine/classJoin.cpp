// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The join run: every piece is opened and measured before the output is
// created, so an unreadable piece or an oversized set never truncates an
// earlier output.
#include "classJoin.h"

#include "classParvoxErrors.h"
#include "txt.h"

#include <cerrno>
#include <limits>

int32_t TJoin::TotalSize() {
    PieceFiles.clear();
    int64_t Total = 0;
    ForEachPiece([this, &Total](int32_t Piece) {
        TByteFile PieceFile;
        PieceFile.Assign(PieceFileName(Piece));
        PieceFile.Reset();
        Total += PieceFile.FileSize();
        PieceFiles.push_back(PieceFile.Id());
        PieceFile.Close();
        // The output could not be read back by any of the engines.
        if (Total >= FirstSizeOutOfRange)
            throw EInOutError(EOVERFLOW);
    });
    return static_cast<int32_t>(Total);
}

void TJoin::Execute() {
    const int32_t Total = TotalSize();
    const TByteFile::TCloseAtExit ClosesInput(InputFile);
    const TByteFile::TCloseAtExit ClosesOutput(OutputFile);
    InputFile.Assign(PieceFileName(1));
    // Decided now: the previous output under the base name must not be overwritten.
    OutputFile.Assign(JoinedFileName());
    InputFile.Reset();
    // An output name that leads to one of the pieces (a link) would cut that
    // piece before it is read; it is refused before anything is written.
    OutputFile.Rewrite(InputFile.Permissions(), PieceFiles);
    // Every read counts as a full block, so the count may pass the total.
    int64_t Blocks = 0;
    ForEachPiece([this, Total, &Blocks](int32_t Piece) {
        if (Piece > 1) {
            InputFile.Assign(PieceFileName(Piece));
            InputFile.Reset();
        }
        ForEachBlock(Total, Blocks, [this](int64_t) {
            const TBlockCounts Block =
                InputFile.BlockCopy(OutputFile, BlockSize, std::numeric_limits<int32_t>::max());
            // The partial output stays on disk.
            if (Block.Written != Block.Read)
                throw EParvoxError(txtDestinationFull);
            return Block.Read == BlockSize;
        });
        InputFile.Close();
    });
    OutputFile.Close();
    OutputFile.Store();
}
