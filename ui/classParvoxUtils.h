// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The web links of the main and About windows. Opening an address does
// nothing: the program starts no browser and reaches no network.
#pragma once

#include <string>

class TParvoxUtils {
public:
    TParvoxUtils() = delete;

    static void OpenURL(const std::string& Address);
    static void OpenProductPage();
    static void OpenMakerPage();

    // The addresses behind the link labels.
    static const std::string MakerAddress;
    static const std::string ProductAddress;
};
