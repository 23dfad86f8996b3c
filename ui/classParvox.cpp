// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Creation and destruction of the engines, in the program's fixed order.
#include "classParvox.h"

TParvox* ParvoxApp = nullptr;

TParvox::TParvox()
    : Join(std::make_unique<TJoin>()), Split(std::make_unique<TSplit>()),
      Checksum(std::make_unique<TChecksum>()), Compare(std::make_unique<TCompare>()) {}

TParvox::~TParvox() {
    Join.reset();
    Split.reset();
    Checksum.reset();
    Compare.reset();
}

std::array<TParvoxBase*, 4> TParvox::Engines() const {
    return {Join.get(), Split.get(), Checksum.get(), Compare.get()};
}

void TParvox::SetProgressHandler(const TProgressEvent& Handler) {
    for (TParvoxBase* Engine : Engines())
        Engine->OnProgress = Handler;
}

void TParvox::SetProgressCounts(TProgressCounts* Counts) {
    for (TParvoxBase* Engine : Engines())
        Engine->Counts = Counts;
}

void TParvox::RequestStop() {
    for (TParvoxBase* Engine : Engines())
        Engine->RequestStop();
}

void TParvox::WithdrawStop() {
    for (TParvoxBase* Engine : Engines())
        Engine->WithdrawStop();
}
