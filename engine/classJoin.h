// The join engine: rebuilds the whole file from its numbered pieces.
#pragma once

#include "classParvoxBase.h"

class TJoin : public TParvoxBase {
public:
    int32_t TotalSize();
    void Execute();
};
