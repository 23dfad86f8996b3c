// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The compare engine: whether two files are equal byte for byte and, if
// not, the offset of the first byte that differs.
#pragma once

#include "classParvoxBase.h"

#include <string>

constexpr int64_t CompareUnequalLength = -2, CompareEqual = -1;

class TCompare : public TParvoxBase {
public:
    std::string FileName1, FileName2;
    bool File1Selected = false, File2Selected = false;
    bool BlocksEqual = false;
    // CompareUnequalLength, CompareEqual, or the 0-based offset of the first difference.
    int64_t CompareResult = 0;
    int32_t DiffIndex = 0;
    uint8_t Buffer1[BlockSize]{}, Buffer2[BlockSize]{};

    // Compares the first Count bytes of both buffers. BlocksEqual tells the
    // outcome; DiffIndex is the first differing index, or Count when equal.
    void CompareBlocks(int32_t Count);
    void ClearBuffers();
    void Execute();
};
