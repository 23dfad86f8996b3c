// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Link addresses; the maker's site lives under a reserved example domain.
#include "classParvoxUtils.h"

const std::string TParvoxUtils::MakerAddress = "http://www.quillfern.example";
const std::string TParvoxUtils::ProductAddress = "http://www.quillfern.example/parvox";

void TParvoxUtils::OpenURL(const std::string& /*Address*/) {}

void TParvoxUtils::OpenProductPage() {
    OpenURL(ProductAddress);
}

void TParvoxUtils::OpenMakerPage() {
    OpenURL(MakerAddress);
}
