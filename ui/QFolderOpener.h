// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Opens a folder in the desktop's file manager through xdg-open, the
// desktop's own way to open a file, and tells when nothing opened it.
#pragma once

#include <QString>

#include <functional>

class TFolderOpener {
public:
    TFolderOpener() = delete;

    // Starts xdg-open with Folder, in a session of its own, so that neither
    // the end of Parvox nor a Ctrl+C in its terminal reaches the file
    // manager. Failed runs in the windows' thread when xdg-open cannot start,
    // or when it fails within the first seconds, which is how it says that no
    // program answered; a later end is the file manager's own.
    static void Open(const QString& Folder, std::function<void()> Failed);
};
