// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The checksum engine: the sum of all byte values of one file, modulo
// 1,000,000,000. Order and zero bytes do not change it.
#pragma once

#include "classParvoxBase.h"

#include <string>

class TChecksum : public TParvoxBase {
public:
    TByteFile ChecksumFile;
    std::string FileName;
    bool FileSelected = false;

    // The checksum of FileName, 0 to 999,999,999.
    [[nodiscard]] int32_t Execute();
};

// The sum of the first Count bytes of a block (Count at most BlockSize):
// by the widest vector unit that the processor has, and by the plain loop
// that serves processors without one.
[[nodiscard]] int32_t BlockSum(const uint8_t* Bytes, int32_t Count);
[[nodiscard]] int32_t PlainBlockSum(const uint8_t* Bytes, int32_t Count);
