// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A message box at the end of a run that takes no keyboard from the program
// that the user works in meanwhile: a key meant for that program must not
// answer the box.
#pragma once

class QMessageBox;

class TQuietBox {
public:
    // Readies Box, before its window is made: while no window of the program
    // is active, the box is to come up without the keyboard. Qt activates a
    // modal window as it shows it, whatever the window asks for, so such a
    // box shows as an ordinary window over the run's.
    explicit TQuietBox(QMessageBox& Box);

    // Runs the box until it is answered. A box without the keyboard holds the
    // program's other windows meanwhile, as its modality would.
    void Exec();

private:
    QMessageBox& Box;
    bool Quiet;
};
