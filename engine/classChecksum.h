// The checksum engine: the sum of a file's bytes modulo 1,000,000,000.
#pragma once

#include "classParvoxBase.h"

class TChecksum : public TParvoxBase {
public:
    std::string FileName;
    bool FileSelected = false;
    int32_t Execute();
};
