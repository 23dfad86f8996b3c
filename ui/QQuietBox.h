// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A message box at the end of a run that takes no keyboard from the program
// that the user works in meanwhile: a key meant for that program must not
// answer the box.
#pragma once

class QMessageBox;

class TQuietBox {
public:
    TQuietBox() = delete;

    // Runs Box as a modal box. While no window of the program is active,
    // the box comes up without the keyboard: Qt activates a modal window as
    // it shows it, whatever the window asks for, so the box shows as an
    // ordinary window over the run's, and the program's other windows are
    // held as its modality would hold them, until it is answered.
    static void Exec(QMessageBox& Box);
};
