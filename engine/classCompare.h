// The compare engine: whether two files are equal, and where they first differ.
#pragma once

#include "classParvoxBase.h"

constexpr int32_t CompareUnequalLength = -2, CompareEqual = -1;

class TCompare : public TParvoxBase {
public:
    std::string FileName1, FileName2;
    bool File1Selected = false, File2Selected = false;
    bool BlocksEqual = false;
    int32_t CompareResult = 0, DiffIndex = 0;
    uint8_t Buffer1[1024], Buffer2[1024];
    void CompareBlocks(int32_t Count);
    void ClearBuffers();
    void Execute();
};
